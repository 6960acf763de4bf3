#pragma once
// A live source through the capture helper: the helper captures into a
// pcapng file of the cache folder and tells, after each flush, how far the
// file holds complete blocks; this process reads the file with its own
// reader up to there, and the frames stay in the file (the buffer keeps only
// where each lies). When the buffer is emptied the helper is handed a fresh
// file; the old one goes once no frame of it is held. A helper that ends
// without its End keeps every frame it wrote, and the user hears that it
// stopped unexpectedly.

#include <chrono>
#include <deque>
#include <memory>
#include <string>

#include "capture/savefile_input.h"
#include "capture/sources/capture_files.h"
#include "capture/sources/helper_process.h"
#include "capture/sources/live_source.h"

namespace qv {

inline constexpr const char* kHelperStoppedText = "The capture helper stopped unexpectedly";

class HelperCaptureSource : public LiveSource {
 public:
  explicit HelperCaptureSource(std::shared_ptr<CaptureFiles> files) : files_(std::move(files)) {}
  ~HelperCaptureSource() override;

  std::optional<LiveOpened> Open(const LiveRequest& request, const LiveReport& report) override;
  Status Read(std::chrono::milliseconds wait, const std::function<bool(const LiveFrame&)>& take) override;
  std::optional<LiveDrops> Drops() override { return drops_; }
  void Stop() override;
  void BufferCleared() override;
  void AttachFilters(FilterSlot& slot) override;
  void ServeFilters(FilterSlot& slot) override;
  void DetachFilters(FilterSlot& slot) override;

  // The helper's process id while it runs (tests).
  pid_t HelperPid() const { return helper_ ? helper_->Pid() : -1; }

 private:
  // One output file: written by the helper up to `limit` in complete
  // blocks, read by this process.
  struct File {
    std::string path;
    int readFd = -1;  // until the input takes it
    std::unique_ptr<SavefileInput> input;
    std::uint64_t limit = 0;
    bool complete = false;  // the helper writes no more to it
    bool drained = false;   // read up to its complete end
  };
  // Takes the helper's messages; false when the run cannot go on.
  void Handle(const control::Message& message);
  // Hands frames of the files to `take`; false when `take` asked to pause.
  bool HandFrames(const std::function<bool(const LiveFrame&)>& take);
  void Release(File& file);
  void HelperGone();
  std::string OpenFailure(const std::string& why) const;

  std::shared_ptr<CaptureFiles> files_;
  const LiveReport* report_ = nullptr;
  std::string adapter_;
  std::unique_ptr<HelperProcess> helper_;
  std::deque<File> files_in_use_;  // front: being read; back: being written
  std::optional<File> rotating_;  // handed to the helper, not yet switched to
  std::optional<LiveDrops> drops_;
  bool started_ = false;
  bool ended_ = false;   // End came
  bool failed_ = false;  // an Error came, or the helper died
  bool gone_ = false;    // the channel is closed
  bool stopSent_ = false;
  std::chrono::steady_clock::time_point stopSentAt_;
  FilterSlot* filters_ = nullptr;
  LiveOpened opened_;
  std::string error_;        // the helper's (or the reader's) text of what failed
  std::string problem_;      // a message of the helper's that could not be taken
  std::string stoppedText_;  // told when the helper ended without End
};

}  // namespace qv
