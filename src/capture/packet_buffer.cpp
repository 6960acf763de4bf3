#include "capture/packet_buffer.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace qv {

namespace {
// Blocks are mapped straight from the kernel, which is asked to back them
// with huge pages and to fill in the whole block at once: taking a million
// frames' worth of 4 KiB pages one fault at a time costs several times more
// than copying the frames.
constexpr std::size_t kPage = 4096;
}  // namespace

void PacketBuffer::BlockDeleter::operator()(std::uint8_t* block) const { munmap(block, size); }

PacketBuffer::Block PacketBuffer::NewBlock(std::size_t size) {
  const std::size_t rounded = (size + kPage - 1) / kPage * kPage;
  void* memory = mmap(nullptr, rounded, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (memory == MAP_FAILED) throw std::bad_alloc();
  // Both are hints: an older kernel refuses them and faults pages in as usual.
#ifdef MADV_HUGEPAGE
  madvise(memory, rounded, MADV_HUGEPAGE);
#endif
#ifdef MADV_POPULATE_WRITE
  madvise(memory, rounded, MADV_POPULATE_WRITE);
#endif
  return Block(static_cast<std::uint8_t*>(memory), BlockDeleter{rounded});
}

PacketBuffer::PacketBuffer() = default;
PacketBuffer::~PacketBuffer() = default;

const std::uint8_t* PacketBuffer::Store(const std::uint8_t* bytes, std::uint32_t length) {
  if (length == 0) return nullptr;
  if (length > kBlockSize / 4) {
    // A jumbo frame gets a block of its own, kept behind the current one so
    // that the current block goes on filling.
    Block own = NewBlock(length);
    std::memcpy(own.get(), bytes, length);
    const std::uint8_t* at = own.get();
    if (blocks_.empty()) {
      blocks_.push_back(std::move(own));
      blockUsed_ = kBlockSize;  // nothing may be packed into it
    } else {
      blocks_.insert(blocks_.end() - 1, std::move(own));
    }
    return at;
  }
  if (blocks_.empty() || kBlockSize - blockUsed_ < length) {
    blocks_.push_back(NewBlock(kBlockSize));
    blockUsed_ = 0;
  }
  std::uint8_t* at = blocks_.back().get() + blockUsed_;
  std::memcpy(at, bytes, length);
  blockUsed_ += length;
  return at;
}

PacketBuffer::Appended PacketBuffer::Append(const FrameHeader& header, const std::uint8_t* bytes, int linkType) {
  std::lock_guard lock(mutex_);
  const std::uint32_t number = count_;
  if (linkTypeRuns_.empty() || linkTypeRuns_.back().linkType != linkType) linkTypeRuns_.push_back({number, linkType});
  if (number / kEntriesPerChunk >= chunks_.size()) {
    chunks_.push_back(std::make_unique_for_overwrite<Entry[]>(kEntriesPerChunk));
  }
  Entry& e = chunks_[number / kEntriesPerChunk][number % kEntriesPerChunk];
  e.data = Store(bytes, header.capturedLength);
  e.capturedLength = header.capturedLength;
  e.wireLength = header.wireLength;
  e.seconds = header.seconds;
  e.microseconds = header.microseconds;
  ++count_;
  bytes_ += header.capturedLength;
  if (header.capturedLength > maxCaptured_) maxCaptured_ = header.capturedLength;
  return {RecordAt(number), count_, bytes_};
}

PacketRecord PacketBuffer::RecordAt(std::uint32_t number) const {
  const Entry& e = chunks_[number / kEntriesPerChunk][number % kEntriesPerChunk];
  PacketRecord r;
  r.capturedLength = e.capturedLength;
  r.number = number;
  r.bytes = std::span<const std::uint8_t>(e.data, e.capturedLength);
  r.wireLength = e.wireLength;
  r.seconds = e.seconds;
  r.microseconds = e.microseconds;
  r.linkType = LinkTypeAt(number);
  return r;
}

int PacketBuffer::LinkTypeAt(std::uint32_t number) const {
  // The last run that starts at or before the number.
  const auto after = std::upper_bound(linkTypeRuns_.begin(), linkTypeRuns_.end(), number,
                                      [](std::uint32_t n, const LinkTypeRun& run) { return n < run.first; });
  return after == linkTypeRuns_.begin() ? 1 : std::prev(after)->linkType;
}

std::vector<int> PacketBuffer::LinkTypes() const {
  std::lock_guard lock(mutex_);
  std::vector<int> out;
  for (const LinkTypeRun& run : linkTypeRuns_) {
    if (std::find(out.begin(), out.end(), run.linkType) == out.end()) out.push_back(run.linkType);
  }
  return out;
}

std::optional<PacketRecord> PacketBuffer::Find(std::uint32_t number) const {
  std::lock_guard lock(mutex_);
  if (number >= count_) return std::nullopt;
  return RecordAt(number);
}

void PacketBuffer::Clear() {
  std::lock_guard lock(mutex_);
  chunks_.clear();
  blocks_.clear();
  linkTypeRuns_.clear();
  blockUsed_ = kBlockSize;
  count_ = 0;
  bytes_ = 0;
  maxCaptured_ = 0;
}

std::uint32_t PacketBuffer::Count() const {
  std::lock_guard lock(mutex_);
  return count_;
}

std::uint64_t PacketBuffer::BufferedBytes() const {
  std::lock_guard lock(mutex_);
  return bytes_;
}

std::uint32_t PacketBuffer::MaxCapturedLength() const {
  std::lock_guard lock(mutex_);
  return maxCaptured_;
}

void PacketBuffer::ForEachNewestFirst(const std::function<void(const PacketRecord&)>& visit) const {
  std::lock_guard lock(mutex_);
  for (std::uint32_t n = count_; n-- > 0;) visit(RecordAt(n));
}

void PacketBuffer::ForEachInRange(std::uint32_t first, std::uint32_t last,
                                  const std::function<void(const PacketRecord&)>& visit) const {
  std::lock_guard lock(mutex_);
  for (std::uint32_t n = first; n < last && n < count_; ++n) visit(RecordAt(n));
}

}  // namespace qv
