#pragma once
// Filtering the packet list: which buffered frames the list filter accepts.
// The filter is either a capture-filter program (pcap_offline_filter over
// the buffered bytes) or a display filter over the decoded fields. A large
// buffer is matched on a worker thread in chunks, with progress and cancel,
// so the window stays usable.

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "capture/capture_filter.h"
#include "capture/packet_buffer.h"
#include "filters/display_filter_match.h"

namespace qv {

// Whether `program` accepts the record (its captured bytes and wire length).
bool FrameMatches(const bpf_program* program, const PacketRecord& record);

// The numbers first..last-1 whose frames match, in rising order.
std::vector<std::uint32_t> MatchFrames(const PacketBuffer& buffer, const bpf_program* program,
                                       std::uint32_t first, std::uint32_t last);

// One thread's test of the list filter. A display filter's test keeps the
// tree it decodes into and the previous frame's time, so frames go to it in
// rising order.
class FrameTest {
 public:
  virtual ~FrameTest() = default;
  virtual bool Matches(const PacketRecord& record) = 0;
  // The next frame tested follows a frame of this time (frame.time_delta),
  // not the last one this test saw.
  virtual void Follows(std::int64_t /*previousNs*/) {}
};

// What the list filter bar compiled.
class ListFilter {
 public:
  explicit ListFilter(std::shared_ptr<CompiledFilter> program);
  // `firstTimeNs`: the time of the buffer's first frame (frame.time_relative's origin).
  ListFilter(DisplayFilterPtr display, DecodeSetup setup, std::int64_t firstTimeNs);

  bool IsDisplayFilter() const { return display_ != nullptr; }
  const CompiledFilter* Program() const { return program_.get(); }
  const DisplayFilter* Display() const { return display_.get(); }
  std::unique_ptr<FrameTest> NewTest() const;

 private:
  std::shared_ptr<CompiledFilter> program_;
  DisplayFilterPtr display_;
  DecodeSetup setup_;
  std::int64_t firstTimeNs_ = 0;
};

// The numbers first..last-1 whose frames `test` accepts, in rising order.
std::vector<std::uint32_t> MatchFrames(const PacketBuffer& buffer, FrameTest& test, std::uint32_t first,
                                       std::uint32_t last);

// A display filter decodes every frame, so its job shares the frames out
// to two threads, chunk by chunk; each takes its chunk's records out of the
// buffer (a RecordBatch) and tests them without the buffer's lock. A capture-filter program is matched on one thread under the lock.
class ListFilterJob {
 public:
  static constexpr std::uint32_t kChunk = 16384;
  static constexpr std::uint32_t kDisplayChunk = 2048;

  // Starts matching frames 0..last-1 of `buffer` against `filter` at once.
  ListFilterJob(const PacketBuffer& buffer, std::shared_ptr<const ListFilter> filter, std::uint32_t last);
  ~ListFilterJob();  // cancels and waits
  ListFilterJob(const ListFilterJob&) = delete;
  ListFilterJob& operator=(const ListFilterJob&) = delete;

  void Cancel() { cancel_ = true; }
  bool Done() const { return done_.load(std::memory_order_acquire); }
  bool Cancelled() const { return cancel_.load(); }
  std::uint32_t Matched() const { return progress_.load(); }  // frames tested so far
  std::uint32_t Last() const { return last_; }
  // The matching numbers; only once Done().
  std::vector<std::uint32_t> TakeResult() { return std::move(result_); }
  // The test, to go on with the frames after Last(); only once Done().
  std::unique_ptr<FrameTest> TakeTest() { return std::move(test_); }

 private:
  void Run();
  void RunProgram();
  // Takes chunks of a display filter's run until none is left.
  void TestChunks(FrameTest& test, std::vector<std::vector<std::uint32_t>>& chunks);

  const PacketBuffer& buffer_;
  std::shared_ptr<const ListFilter> filter_;
  std::unique_ptr<FrameTest> test_;
  std::uint32_t last_;
  std::vector<std::uint32_t> result_;
  std::atomic<bool> cancel_{false};
  std::atomic<bool> done_{false};
  std::atomic<std::uint32_t> progress_{0};
  std::atomic<std::uint32_t> nextChunk_{0};
  std::thread thread_;
};

}  // namespace qv
