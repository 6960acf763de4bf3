#pragma once
// A live source reading a pcap or pcapng stream as it is written: standard
// input, a FIFO, or the output of a command (a capture on another host).
// A thread of the source's own reads the stream with the savefile reader and
// queues the frames, copied; the capture thread takes them from the queue,
// so a writer that pauses in the middle of a record never holds up the run,
// and Stop ends the read at once. Frames go to the capture filter through
// pcap_offline_filter, compiled for each link type the stream carries.
//
// The end of the stream ends the run as a Stop does; damage stops it with
// the reader's message, after every frame before it.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture/sources/live_source.h"
#include "capture/sources/source_address.h"

namespace qv {

class StreamSource : public LiveSource {
 public:
  struct Options {
    // Whether a damaged stream is told to the user by the source itself; a
    // source wrapping this one may rather tell it in its own words.
    bool reportDamage = true;
  };
  // Reads `fd`, closed at the end when `owned`; `name` names the stream in
  // messages.
  StreamSource(int fd, bool owned, std::string name, Options options);
  StreamSource(int fd, bool owned, std::string name) : StreamSource(fd, owned, std::move(name), Options{}) {}
  // Standard input ("-") or the path of a FIFO (or a file being written),
  // opened at Open without waiting for a writer.
  explicit StreamSource(const SourceAddress& address);
  ~StreamSource() override;
  StreamSource(const StreamSource&) = delete;
  StreamSource& operator=(const StreamSource&) = delete;

  std::optional<LiveOpened> Open(const LiveRequest& request, const LiveReport& report) override;
  Status Read(std::chrono::milliseconds wait, const std::function<bool(const LiveFrame&)>& take) override;
  std::optional<LiveDrops> Drops() override { return std::nullopt; }
  void Stop() override;
  int WaitFd() const override { return wakeFd_; }
  void AttachFilters(FilterSlot& slot) override;
  void ServeFilters(FilterSlot& slot) override;
  void DetachFilters(FilterSlot& slot) override;

  // What ended the read, once Read said Ended or Failed: empty at the end
  // of the stream or after Stop, else the damage as the reader described it
  // (the whole message, as it would be shown).
  const std::string& Failure() const { return failure_; }
  // Whether any byte of the stream arrived.
  bool AnyInput() const { return anyInput_.load(); }
  // Frames handed over so far.
  std::uint64_t FramesHanded() const { return handed_; }

 private:
  struct Queued {
    FrameHeader header;
    int linkType = 1;
    std::vector<std::uint8_t> bytes;
    std::string comment;
  };
  void ReadStream();
  void Push(Queued frame);

  int fd_ = -1;
  bool owned_ = false;
  std::string path_;  // for a FIFO opened at Open
  std::string name_;
  Options options_;
  const LiveReport* report_ = nullptr;
  std::string filterText_;
  FilterSlot* slot_ = nullptr;
  int wakeFd_ = -1;  // readable while frames wait, or the read has ended
  int stopFd_ = -1;  // written at Stop: the reading thread gives up its read
  std::thread reader_;

  std::mutex mutex_;
  std::condition_variable room_;
  std::deque<Queued> queue_;  // under mutex_
  std::uint64_t queuedBytes_ = 0;
  bool readEnded_ = false;     // under mutex_: nothing more comes
  std::string readFailure_;    // under mutex_
  std::atomic<bool> stopping_{false};
  std::atomic<bool> anyInput_{false};
  std::deque<Queued> inHand_;  // taken from the queue, not yet handed over
  std::uint64_t handed_ = 0;
  std::string failure_;
  bool told_ = false;
};

}  // namespace qv
