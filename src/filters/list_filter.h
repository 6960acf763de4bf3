#pragma once
// Filtering the packet list: which buffered frames a compiled program
// accepts, found with pcap_offline_filter over the buffered bytes. A large
// buffer is matched on a worker thread in chunks, with progress and cancel,
// so the window stays usable.

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "capture/capture_filter.h"
#include "capture/packet_buffer.h"

namespace qv {

// Whether `program` accepts the record (its captured bytes and wire length).
bool FrameMatches(const bpf_program* program, const PacketRecord& record);

// The numbers first..last-1 whose frames match, in rising order.
std::vector<std::uint32_t> MatchFrames(const PacketBuffer& buffer, const bpf_program* program,
                                       std::uint32_t first, std::uint32_t last);

class ListFilterJob {
 public:
  static constexpr std::uint32_t kChunk = 16384;

  // Starts matching frames 0..last-1 of `buffer` against `filter` at once.
  ListFilterJob(const PacketBuffer& buffer, std::shared_ptr<CompiledFilter> filter, std::uint32_t last);
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

 private:
  void Run();

  const PacketBuffer& buffer_;
  std::shared_ptr<CompiledFilter> filter_;
  std::uint32_t last_;
  std::vector<std::uint32_t> result_;
  std::atomic<bool> cancel_{false};
  std::atomic<bool> done_{false};
  std::atomic<std::uint32_t> progress_{0};
  std::thread thread_;
};

}  // namespace qv
