#include "capture/packet_buffer.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace qv {

PacketBuffer::Block PacketBuffer::NewBlock(std::size_t size) {
  if (!WithinBudget(size)) {
    refusal_ = Refusal::OverBudget;
    return Block(nullptr, BlockDeleter{allocator_, size});
  }
  std::uint8_t* memory = nullptr;
  if (size == kBlockSize) {
    // The common case: the spare made on the helper thread, when it is ready.
    if (!spare_) {
      try {
        spare_ = std::make_unique<SpareBlock>(*allocator_, kBlockSize);
      } catch (const std::exception&) {
        // No helper thread: blocks are then mapped here, as below.
      }
    }
    if (spare_) memory = spare_->Take();
  }
  // Not prefaulted: the pages then come one fault at a time, spread over
  // the frames that fill them, instead of all at once here.
  if (memory == nullptr) memory = allocator_->Allocate(size, false);
  if (memory == nullptr) {
    refusal_ = Refusal::OutOfMemory;
  } else {
    held_ += size;
  }
  return Block(memory, BlockDeleter{allocator_, size});
}

bool PacketBuffer::WithinBudget(std::size_t more) const { return budget_ == 0 || held_ + more <= budget_; }

PacketBuffer::PacketBuffer() = default;
PacketBuffer::~PacketBuffer() = default;

const std::uint8_t* PacketBuffer::Store(const std::uint8_t* bytes, std::uint32_t length) {
  if (length == 0) return nullptr;
  if (length > kBlockSize / 4) {
    // A jumbo frame gets a block of its own, kept behind the current one so
    // that the current block goes on filling.
    Block own = NewBlock(length);
    if (!own) return nullptr;
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
    Block block = NewBlock(kBlockSize);
    if (!block) return nullptr;
    blocks_.push_back(std::move(block));
    blockUsed_ = 0;
  }
  std::uint8_t* at = blocks_.back().get() + blockUsed_;
  std::memcpy(at, bytes, length);
  blockUsed_ += length;
  return at;
}

std::optional<PacketBuffer::Appended> PacketBuffer::TryAppend(const FrameHeader& header,
                                                             const std::uint8_t* bytes, int linkType) {
  std::lock_guard lock(mutex_);
  refusal_ = Refusal::None;
  const std::uint32_t number = count_;
  try {
    if (number / kEntriesPerChunk >= chunks_.size()) {
      constexpr std::size_t kChunkBytes = kEntriesPerChunk * sizeof(Entry);
      if (!WithinBudget(kChunkBytes)) {
        refusal_ = Refusal::OverBudget;
        return std::nullopt;
      }
      if (chunks_.capacity() == chunks_.size()) chunks_.reserve(chunks_.size() * 2 + 8);
      chunks_.push_back(std::make_unique_for_overwrite<Entry[]>(kEntriesPerChunk));
      held_ += kChunkBytes;
    }
    // The block vectors grow before a block is taken, so that a failing
    // growth loses nothing.
    if (blocks_.capacity() == blocks_.size()) blocks_.reserve(blocks_.size() * 2 + 8);
    if (linkTypeRuns_.capacity() == linkTypeRuns_.size()) linkTypeRuns_.reserve(linkTypeRuns_.size() * 2 + 4);
  } catch (const std::bad_alloc&) {
    refusal_ = Refusal::OutOfMemory;
    return std::nullopt;
  }
  Entry& e = chunks_[number / kEntriesPerChunk][number % kEntriesPerChunk];
  e.data = Store(bytes, header.capturedLength);
  if (e.data == nullptr && header.capturedLength != 0) return std::nullopt;
  e.capturedLength = header.capturedLength;
  e.wireLength = header.wireLength;
  e.seconds = header.seconds;
  e.microseconds = header.microseconds;
  if (linkTypeRuns_.empty() || linkTypeRuns_.back().linkType != linkType) linkTypeRuns_.push_back({number, linkType});
  ++count_;
  bytes_ += header.capturedLength;
  if (header.capturedLength > maxCaptured_) maxCaptured_ = header.capturedLength;
  return Appended{RecordAt(number), count_, bytes_};
}

PacketBuffer::Appended PacketBuffer::Append(const FrameHeader& header, const std::uint8_t* bytes, int linkType) {
  std::optional<Appended> added = TryAppend(header, bytes, linkType);
  if (!added) throw std::bad_alloc();
  return *added;
}

PacketBuffer::Refusal PacketBuffer::LastRefusal() const {
  std::lock_guard lock(mutex_);
  return refusal_;
}

void PacketBuffer::SetMemoryBudget(std::uint64_t bytes) {
  std::lock_guard lock(mutex_);
  budget_ = bytes;
}

std::uint64_t PacketBuffer::MemoryBudget() const {
  std::lock_guard lock(mutex_);
  return budget_;
}

std::uint64_t PacketBuffer::HeldBytes() const {
  std::lock_guard lock(mutex_);
  return held_;
}

void PacketBuffer::SetAllocator(BlockAllocator& allocator) {
  std::lock_guard lock(mutex_);
  spare_.reset();  // its block came from the old allocator
  allocator_ = &allocator;
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
  held_ = 0;
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
