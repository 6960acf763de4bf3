#pragma once
// The status bar's gauge of a capture file being read: how much of the
// file's bytes is behind, in the stage it is in (decompressing or reading),
// and the time left once the rate can be told. Hidden while no file is read.

#include <QElapsedTimer>
#include <QProgressBar>

#include <cstdint>
#include <optional>

#include "capture/read_progress.h"

namespace qv {

// "Reading: 42% — about 12 s left", "Decompressing: 7%"; without a total,
// the bytes behind ("Reading: 3.5 MB").
QString ReadProgressText(const ReadProgress& progress, std::optional<std::uint64_t> secondsLeft);

class ReadProgressBar : public QProgressBar {
  Q_OBJECT
 public:
  explicit ReadProgressBar(QWidget* parent = nullptr);

  // Shows the latest progress while `reading`; hides the bar when not.
  void Update(const std::optional<ReadProgress>& latest, bool reading);

 private:
  void ShowProgress(const ReadProgress& progress);

  bool timing_ = false;
  ReadProgress::Stage stage_ = ReadProgress::Stage::Reading;
  std::uint64_t doneAtStart_ = 0;  // the stage's bytes behind when its clock started
  QElapsedTimer clock_;
};

}  // namespace qv
