#include "filters/list_filter.h"

namespace qv {

namespace {

class ProgramTest final : public FrameTest {
 public:
  explicit ProgramTest(std::shared_ptr<CompiledFilter> program) : program_(std::move(program)) {}
  bool Matches(const PacketRecord& record) override { return FrameMatches(program_->Program(), record); }

 private:
  std::shared_ptr<CompiledFilter> program_;
};

class DisplayTest final : public FrameTest {
 public:
  DisplayTest(DisplayFilterPtr filter, DecodeSetup setup, std::int64_t firstTimeNs)
      : matcher_(std::move(filter), setup) {
    matcher_.SetFirstTime(firstTimeNs);
  }
  bool Matches(const PacketRecord& record) override { return matcher_.Matches(record); }

 private:
  DisplayFilterMatcher matcher_;
};

}  // namespace

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

std::vector<std::uint32_t> MatchFrames(const PacketBuffer& buffer, FrameTest& test, std::uint32_t first,
                                       std::uint32_t last) {
  std::vector<std::uint32_t> matched;
  buffer.ForEachInRange(first, last, [&](const PacketRecord& r) {
    if (test.Matches(r)) matched.push_back(r.number);
  });
  return matched;
}

ListFilter::ListFilter(std::shared_ptr<CompiledFilter> program) : program_(std::move(program)) {}

ListFilter::ListFilter(DisplayFilterPtr display, DecodeSetup setup, std::int64_t firstTimeNs)
    : display_(std::move(display)), setup_(setup), firstTimeNs_(firstTimeNs) {}

std::unique_ptr<FrameTest> ListFilter::NewTest() const {
  if (display_) return std::make_unique<DisplayTest>(display_, setup_, firstTimeNs_);
  return std::make_unique<ProgramTest>(program_);
}

ListFilterJob::ListFilterJob(const PacketBuffer& buffer, std::shared_ptr<const ListFilter> filter,
                             std::uint32_t last)
    : buffer_(buffer), filter_(std::move(filter)), test_(filter_->NewTest()), last_(last), thread_([this] { Run(); }) {}

ListFilterJob::~ListFilterJob() {
  cancel_ = true;
  if (thread_.joinable()) thread_.join();
}

void ListFilterJob::Run() {
  // Chunks small enough that a cancel is seen soon: a display filter decodes
  // every frame, so its chunk takes longer than a program's.
  const bool display = filter_->IsDisplayFilter();
  const std::uint32_t chunk = display ? kChunk / 8 : kChunk;
  std::vector<PacketRecord> copies;
  std::vector<std::size_t> offsets;
  std::vector<std::uint8_t> pool;
  for (std::uint32_t first = 0; first < last_ && !cancel_; first += std::min(chunk, last_ - first)) {
    const std::uint32_t end = first + std::min(chunk, last_ - first);
    if (!display) {
      // One chunk at a time holds the buffer's lock, so the capture thread
      // waits at most one chunk to append.
      buffer_.ForEachInRange(first, end, [&](const PacketRecord& r) {
        if (test_->Matches(r)) result_.push_back(r.number);
      });
    } else {
      // The chunk is copied under the lock and decoded after letting it go:
      // the interface thread reading rows and the capture thread appending
      // never wait for the decoding (the lock is not fair, so a worker that
      // took it again at once could keep them waiting for several chunks).
      copies.clear();
      offsets.clear();
      pool.clear();
      buffer_.ForEachInRange(first, end, [&](const PacketRecord& r) {
        offsets.push_back(pool.size());
        pool.insert(pool.end(), r.bytes.begin(), r.bytes.end());
        copies.push_back(r);
        copies.back().file.reset();
        copies.back().holder.reset();
      });
      for (std::size_t k = 0; k < copies.size() && !cancel_; ++k) {
        copies[k].bytes = std::span<const std::uint8_t>(pool.data() + offsets[k], copies[k].bytes.size());
        if (test_->Matches(copies[k])) result_.push_back(copies[k].number);
      }
    }
    progress_.store(end);
  }
  done_.store(true, std::memory_order_release);
}

}  // namespace qv
