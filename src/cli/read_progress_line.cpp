#include "cli/read_progress_line.h"

#include <algorithm>

#include "decode/text_format.h"

namespace qv {

std::string ProgressText(const ReadProgress& progress, double elapsedSeconds) {
  const char* stage = progress.stage == ReadProgress::Stage::Decompressing ? "Decompressing" : "Reading";
  if (progress.total == 0) {
    return Format("%s: %llu MB", stage, static_cast<unsigned long long>(progress.done >> 20));
  }
  const double share = std::min(1.0, static_cast<double>(progress.done) / static_cast<double>(progress.total));
  std::string text = Format("%s: %d%%", stage, static_cast<int>(share * 100));
  if (const std::optional<std::uint64_t> left = SecondsLeft(progress.done, progress.total, elapsedSeconds)) {
    text += Format(" (about %llu s left)", static_cast<unsigned long long>(*left));
  }
  return text;
}

void ReadProgressLine::FileProgress(const ReadProgress& progress) {
  const auto now = std::chrono::steady_clock::now();
  if (progress.stage != stage_) {
    stage_ = progress.stage;
    stageStart_ = now;
  }
  const double elapsed = std::chrono::duration<double>(now - stageStart_).count();
  if (terminal_ && elapsed >= 1.0) {
    // Wiped to the end, so that a shorter text leaves nothing behind.
    std::fprintf(out_, "\r%s\033[K", ProgressText(progress, elapsed).c_str());
    std::fflush(out_);
    shown_ = true;
  }
  ForwardingObserver::FileProgress(progress);
}

void ReadProgressLine::CaptureEnded(bool failed) {
  if (shown_) {
    std::fputs("\r\033[K", out_);
    std::fflush(out_);
    shown_ = false;
  }
  ForwardingObserver::CaptureEnded(failed);
}

}  // namespace qv
