#pragma once
// `quorvanet-cli -r`: how far a long read has got, on one line of standard
// error that rewrites itself. Shown only on a terminal, and only once the
// read has taken a second; the line is wiped when the read ends, so that
// what follows starts on a clean line.

#include <chrono>
#include <cstdio>
#include <string>

#include "capture/capture_observer.h"

namespace qv {

// "Reading: 42% (about 3 s left)", "Decompressing: 10%", "Reading: 12 MB" (no total known).
std::string ProgressText(const ReadProgress& progress, double elapsedSeconds);

class ReadProgressLine : public ForwardingObserver {
 public:
  ReadProgressLine(CaptureObserver& next, std::FILE* out, bool terminal)
      : ForwardingObserver(next), out_(out), terminal_(terminal) {}

  void FileProgress(const ReadProgress& progress) override;
  void CaptureEnded(bool failed) override;

 private:
  std::FILE* out_;
  bool terminal_;
  bool shown_ = false;
  ReadProgress::Stage stage_ = ReadProgress::Stage::Reading;
  std::chrono::steady_clock::time_point stageStart_ = std::chrono::steady_clock::now();
};

}  // namespace qv
