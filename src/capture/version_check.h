#pragma once
// The check for a newer version: a thread of its own fetches the version
// file over HTTP and tells, by a queued signal, the balloon text of a newer
// release or that the file could not be reached. Nothing else waits for it.
//
// The version file: line 1 "Quorvanet" (any case), line 2 "major minor
// patch", then free HTML describing the release.

#include <QObject>
#include <QString>
#include <QUrl>

#include <optional>
#include <string>
#include <string_view>

class QThread;

namespace qv {

inline constexpr const char* kVersionAgent = "Looking for new version";
inline constexpr const char* kCannotConnect = "Cannot connect to the Internet";

// True for a version newer than this release, 1.0.1.
bool IsNewerVersion(int major, int minor, int patch);

// The balloon's HTML when the file announces a newer version, else nothing.
std::optional<std::string> VersionBalloonText(std::string_view versionFile);

class VersionCheck : public QObject {
  Q_OBJECT
 public:
  explicit VersionCheck(QObject* parent = nullptr);
  // Abandons a fetch still under way without waiting for the server.
  ~VersionCheck() override;

  // Starts fetching `url` on the check's own thread and returns at once.
  // An empty URL starts nothing (false).
  bool Start(const QString& url);
  bool Started() const { return thread_ != nullptr; }

 signals:
  void newVersion(const QString& html);
  void failed(const QString& message);
  // After either of the above, or a file that announces nothing newer.
  void finished();

 private:
  QThread* thread_ = nullptr;
};

}  // namespace qv
