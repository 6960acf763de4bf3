#include "filters/list_filter.h"

#include "filters/record_batch.h"

#include <chrono>
#include <optional>

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
  void Follows(std::int64_t previousNs) override { matcher_.Follows(previousNs); }

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
  if (!filter_->IsDisplayFilter()) {
    RunProgram();
    done_.store(true, std::memory_order_release);
    return;
  }
  std::vector<std::vector<std::uint32_t>> chunks((last_ + kDisplayChunk - 1) / kDisplayChunk);
  std::unique_ptr<FrameTest> second = filter_->NewTest();
  std::thread helper([&] { TestChunks(*second, chunks); });
  TestChunks(*test_, chunks);
  helper.join();
  for (std::vector<std::uint32_t>& chunk : chunks) result_.insert(result_.end(), chunk.begin(), chunk.end());
  // The frames after the last go on with this test: they follow the last.
  if (last_ > 0 && !cancel_) {
    if (const std::optional<std::int64_t> lastTime = buffer_.TimeNsAt(last_ - 1)) test_->Follows(*lastTime);
  }
  done_.store(true, std::memory_order_release);
}

void ListFilterJob::RunProgram() {
  for (std::uint32_t first = 0; first < last_ && !cancel_; first += std::min(kChunk, last_ - first)) {
    const std::uint32_t end = first + std::min(kChunk, last_ - first);
    // One chunk at a time holds the buffer's lock, so the capture thread
    // waits at most one chunk to append.
    buffer_.ForEachInRange(first, end, [&](const PacketRecord& r) {
      if (test_->Matches(r)) result_.push_back(r.number);
    });
    progress_.store(end);
    // The lock is not fair: taken again at once, it would keep the window
    // (showing rows, counting frames) waiting chunk after chunk.
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
}

void ListFilterJob::TestChunks(FrameTest& test, std::vector<std::vector<std::uint32_t>>& chunks) {
  RecordBatch batch;
  while (!cancel_) {
    const std::uint32_t chunk = nextChunk_.fetch_add(1);
    if (chunk >= chunks.size()) return;
    const std::uint32_t first = chunk * kDisplayChunk;
    const std::uint32_t end = std::min(last_, first + kDisplayChunk);
    batch.Clear();
    buffer_.ForEachInRange(first, end, [&](const PacketRecord& r) { batch.Add(r); });
    // The frame before the chunk, for the time since it.
    if (first > 0) {
      if (const std::optional<std::int64_t> before = buffer_.TimeNsAt(first - 1)) test.Follows(*before);
    }
    for (const PacketRecord& r : batch.Records()) {
      if (cancel_) break;
      if (test.Matches(r)) chunks[chunk].push_back(r.number);
    }
    progress_.fetch_add(end - first);
  }
}

}  // namespace qv
