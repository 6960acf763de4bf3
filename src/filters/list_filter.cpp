#include "filters/list_filter.h"

namespace qv {

bool FrameMatches(const bpf_program* program, const PacketRecord& record) {
  pcap_pkthdr header{};
  header.ts.tv_sec = record.seconds;
  header.ts.tv_usec = record.microseconds;
  header.caplen = record.capturedLength;
  header.len = record.wireLength;
  // The program reads no further than caplen: bounded by the captured bytes.
  return pcap_offline_filter(program, &header, record.bytes.data()) != 0;
}

std::vector<std::uint32_t> MatchFrames(const PacketBuffer& buffer, const bpf_program* program,
                                       std::uint32_t first, std::uint32_t last) {
  std::vector<std::uint32_t> matched;
  buffer.ForEachInRange(first, last, [&](const PacketRecord& r) {
    if (FrameMatches(program, r)) matched.push_back(r.number);
  });
  return matched;
}

ListFilterJob::ListFilterJob(const PacketBuffer& buffer, std::shared_ptr<CompiledFilter> filter, std::uint32_t last)
    : buffer_(buffer), filter_(std::move(filter)), last_(last), thread_([this] { Run(); }) {}

ListFilterJob::~ListFilterJob() {
  cancel_ = true;
  if (thread_.joinable()) thread_.join();
}

void ListFilterJob::Run() {
  const bpf_program* program = filter_->Program();
  for (std::uint32_t first = 0; first < last_ && !cancel_; first += std::min(kChunk, last_ - first)) {
    const std::uint32_t end = first + std::min(kChunk, last_ - first);
    // One chunk at a time holds the buffer's lock, so the capture thread
    // waits at most one chunk to append.
    buffer_.ForEachInRange(first, end, [&](const PacketRecord& r) {
      if (FrameMatches(program, r)) result_.push_back(r.number);
    });
    progress_.store(end);
  }
  done_.store(true, std::memory_order_release);
}

}  // namespace qv
