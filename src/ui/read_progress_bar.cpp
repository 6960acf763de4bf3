#include "ui/read_progress_bar.h"

#include <cmath>

namespace qv {

namespace {
constexpr int kScale = 1000;  // the bar's steps, so a huge file needs no int of its size
}

QString ReadProgressText(const ReadProgress& progress, std::optional<std::uint64_t> secondsLeft) {
  const QString stage = progress.stage == ReadProgress::Stage::Decompressing ? QStringLiteral("Decompressing")
                                                                               : QStringLiteral("Reading");
  if (progress.total == 0) {
    return QStringLiteral("%1: %2 MB").arg(stage).arg(static_cast<double>(progress.done) / 1048576.0, 0, 'f', 1);
  }
  const std::uint64_t done = std::min(progress.done, progress.total);
  const auto percent = static_cast<int>(static_cast<double>(done) * 100.0 / static_cast<double>(progress.total));
  QString text = QStringLiteral("%1: %2%").arg(stage).arg(percent);
  if (secondsLeft) {
    const std::uint64_t s = *secondsLeft;
    text += s < 60 ? QStringLiteral(" — about %1 s left").arg(s)
                   : QStringLiteral(" — about %1 min %2 s left").arg(s / 60).arg(s % 60);
  }
  return text;
}

ReadProgressBar::ReadProgressBar(QWidget* parent) : QProgressBar(parent) {
  setObjectName(QStringLiteral("ReadProgressBar"));
  setRange(0, kScale);
  setTextVisible(true);
  setMinimumWidth(240);
  setMaximumHeight(18);
  hide();
}

void ReadProgressBar::Update(const std::optional<ReadProgress>& latest, bool reading) {
  if (!reading) {
    timing_ = false;
    hide();
    return;
  }
  if (latest) ShowProgress(*latest);
}

void ReadProgressBar::ShowProgress(const ReadProgress& progress) {
  // Each stage has its own rate: decompressing and reading are timed apart.
  if (!timing_ || progress.stage != stage_ || progress.done < doneAtStart_) {
    timing_ = true;
    stage_ = progress.stage;
    doneAtStart_ = progress.done;
    clock_.start();
  }
  std::optional<std::uint64_t> left;
  if (progress.total > doneAtStart_) {
    left = SecondsLeft(progress.done - doneAtStart_, progress.total - doneAtStart_,
                       static_cast<double>(clock_.elapsed()) / 1000.0);
  }
  if (progress.total == 0) {
    setRange(0, 0);  // no end to measure against: a moving bar
  } else {
    setRange(0, kScale);
    const double part = static_cast<double>(std::min(progress.done, progress.total)) /
                        static_cast<double>(progress.total);
    setValue(static_cast<int>(part * kScale));
  }
  setFormat(ReadProgressText(progress, left));
  show();
}

}  // namespace qv
