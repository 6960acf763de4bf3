#include "capture/version_check.h"

#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QThread>

#include <cstdio>
#include <strings.h>

namespace qv {

namespace {

// A version file is a few lines; anything longer is not one.
constexpr qint64 kMaxVersionFile = 64 * 1024;
constexpr int kTransferTimeoutMs = 30000;

// The next line of `text` from `at`, without its line end; false at the end.
bool NextLine(std::string_view text, std::size_t& at, std::string_view& line) {
  if (at >= text.size()) return false;
  std::size_t end = text.find('\n', at);
  if (end == std::string_view::npos) end = text.size();
  line = text.substr(at, end - at);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  at = end + 1;
  return true;
}

}  // namespace

bool IsNewerVersion(int major, int minor, int patch) {
  return (major == 1 && minor == 0 && patch > 1) || (major >= 1 && minor > 0) || major >= 2;
}

std::optional<std::string> VersionBalloonText(std::string_view file) {
  std::size_t at = 0;
  std::string_view name, version, line;
  if (!NextLine(file, at, name)) return std::nullopt;
  if (name.size() != 9 || ::strncasecmp(std::string(name).c_str(), "Quorvanet", 9) != 0) return std::nullopt;
  if (!NextLine(file, at, version)) return std::nullopt;
  std::string release;
  while (NextLine(file, at, line)) {
    release.append(line);
    release.append("\r\n");
  }
  int major = 0, minor = 0, patch = 0;
  if (std::sscanf(std::string(version).c_str(), "%d %d %d", &major, &minor, &patch) != 3) return std::nullopt;
  if (!IsNewerVersion(major, minor, patch)) return std::nullopt;
  char heading[96];
  std::snprintf(heading, sizeof heading, "Version %d.%d.%d available!", major, minor, patch);
  return "<h2>" + std::string(heading) + "</h2><br><hr><br>" + release;
}

VersionCheck::VersionCheck(QObject* parent) : QObject(parent) {}

VersionCheck::~VersionCheck() {
  if (thread_ == nullptr) return;
  // Quitting the thread's loop deletes its access manager there, which
  // aborts a request still waiting for the server.
  thread_->quit();
  thread_->wait();
  delete thread_;
}

bool VersionCheck::Start(const QString& url) {
  if (url.trimmed().isEmpty() || thread_ != nullptr) return false;
  thread_ = new QThread;
  thread_->setObjectName(QStringLiteral("VersionCheck"));
  auto* manager = new QNetworkAccessManager;
  manager->moveToThread(thread_);
  connect(thread_, &QThread::finished, manager, &QObject::deleteLater);
  // The destructor waits for the thread, so `self` outlives every emit.
  VersionCheck* self = this;
  const QUrl target = QUrl::fromUserInput(url.trimmed());
  QNetworkProxyFactory::setUseSystemConfiguration(true);
  connect(thread_, &QThread::started, manager, [manager, target, self] {
    QNetworkRequest request(target);
    request.setHeader(QNetworkRequest::UserAgentHeader, QString::fromLatin1(kVersionAgent));
    request.setTransferTimeout(kTransferTimeoutMs);
    QNetworkReply* reply = manager->get(request);
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [reply] {
      if (reply->bytesAvailable() > kMaxVersionFile) reply->abort();
    });
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, self] {
      reply->deleteLater();
      // Any answer of the server is read as a version file (an error page
      // then announces nothing); only a server not reached is reported.
      const bool answered = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid() ||
                            (reply->error() == QNetworkReply::NoError);
      const QByteArray body = reply->read(kMaxVersionFile);
      if (!answered || reply->error() == QNetworkReply::OperationCanceledError) {
        emit self->failed(QString::fromLatin1(kCannotConnect));
      } else if (const auto html = VersionBalloonText(std::string_view(body.constData(), body.size()))) {
        emit self->newVersion(QString::fromStdString(*html));
      }
      emit self->finished();
    });
  });
  thread_->start(QThread::LowPriority);
  return true;
}

}  // namespace qv
