#include "capture/packet_buffer.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

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
                                                             const std::uint8_t* bytes, int linkType,
                                                             const FramePlace* place) {
  return TryAppend(header, bytes, Origin{linkType, place, std::nullopt, {}});
}

std::uint32_t PacketBuffer::AddInterfaceLocked(Interface interface) {
  const auto known = std::find(interfaces_.begin(), interfaces_.end(), interface);
  if (known != interfaces_.end()) return static_cast<std::uint32_t>(known - interfaces_.begin());
  // A file may describe any number of interfaces; past this many, frames
  // go to their link type's unnamed one.
  constexpr std::size_t kMostInterfaces = 4096;
  if (interfaces_.size() >= kMostInterfaces && !(interface.name.empty() && interface.description.empty())) {
    return AddInterfaceLocked(Interface{interface.linkType, {}, {}});
  }
  interfaces_.push_back(std::move(interface));
  return static_cast<std::uint32_t>(interfaces_.size() - 1);
}

std::uint32_t PacketBuffer::AddInterface(Interface interface) {
  std::lock_guard lock(mutex_);
  return AddInterfaceLocked(std::move(interface));
}

PacketBuffer::Interface PacketBuffer::InterfaceAt(std::uint32_t number) const {
  std::lock_guard lock(mutex_);
  return number < interfaces_.size() ? interfaces_[number] : Interface{};
}

std::uint32_t PacketBuffer::InterfaceFor(int linkType) {
  // The run's own when it is of that link type: the common case costs one look.
  if (!runs_.empty() && runs_.back().linkType == linkType &&
      interfaces_[runs_.back().interface] == Interface{linkType, {}, {}}) {
    return runs_.back().interface;
  }
  return AddInterfaceLocked(Interface{linkType, {}, {}});
}

std::optional<PacketBuffer::Appended> PacketBuffer::TryAppend(const FrameHeader& header,
                                                             const std::uint8_t* bytes, const Origin& origin) {
  const int linkType = origin.linkType;
  const FramePlace* place = origin.place;
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
    if (runs_.capacity() == runs_.size()) runs_.reserve(runs_.size() * 2 + 4);
    if (interfaces_.capacity() == interfaces_.size()) interfaces_.reserve(interfaces_.size() * 2 + 4);
  } catch (const std::bad_alloc&) {
    refusal_ = Refusal::OutOfMemory;
    return std::nullopt;
  }
  Entry& e = chunks_[number / kEntriesPerChunk][number % kEntriesPerChunk];
  const bool inFile = place != nullptr && place->file && place->offset < kInFile;
  if (inFile) {
    e.where = kInFile | place->offset;
    e.fingerprint = FrameFingerprint({bytes, header.capturedLength});
  } else {
    const std::uint8_t* copy = Store(bytes, header.capturedLength);
    if (copy == nullptr && header.capturedLength != 0) return std::nullopt;
    e.where = reinterpret_cast<std::uintptr_t>(copy);
    e.fingerprint = 0;
  }
  e.capturedLength = header.capturedLength;
  e.wireLength = header.wireLength;
  e.seconds = header.seconds;
  e.nanoseconds = NanosecondsOf(header);
  if (header.extraNanoseconds != 0) nanoseconds_ = true;
  // Reserved above, so this cannot throw.
  const std::uint32_t interface =
      origin.interface && *origin.interface < interfaces_.size() ? *origin.interface : InterfaceFor(linkType);
  if (runs_.empty() || runs_.back().linkType != linkType || runs_.back().interface != interface ||
      (inFile && runs_.back().file != place->file)) {
    runs_.push_back({number, linkType, interface, inFile ? place->file : nullptr});
  }
  if (!origin.comment.empty()) {
    // A comment that finds no room is lost, not the frame.
    try {
      if (WithinBudget(origin.comment.size())) {
        comments_.emplace(number, std::string(origin.comment));
        held_ += origin.comment.size();
      }
    } catch (const std::bad_alloc&) {
    }
  }
  ++count_;
  bytes_ += header.capturedLength;
  if (header.capturedLength > maxCaptured_) maxCaptured_ = header.capturedLength;
  // The record as RecordAt() would give it, from what is at hand: this runs
  // for every frame, and a frame left in its file comes with the bytes given.
  // Made where the caller receives it: a record moved out would cost its
  // handles and its comment twice a frame.
  std::optional<Appended> added(std::in_place);
  added->count = count_;
  added->bufferedBytes = bytes_;
  PacketRecord& r = added->record;
  r.capturedLength = e.capturedLength;
  r.number = number;
  r.bytes = inFile ? std::span<const std::uint8_t>(bytes, header.capturedLength)
                   : std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(e.where), e.capturedLength);
  r.wireLength = e.wireLength;
  r.seconds = e.seconds;
  r.microseconds = header.microseconds;
  r.extraNanoseconds = header.extraNanoseconds;
  r.linkType = linkType;
  r.interface = interface;
  if (!origin.comment.empty() && comments_.count(number) != 0) r.comment = origin.comment;
  return added;
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
  const Run* run = RunOf(number);
  PacketRecord r;
  r.capturedLength = e.capturedLength;
  r.number = number;
  r.wireLength = e.wireLength;
  r.seconds = e.seconds;
  r.microseconds = e.nanoseconds / 1000u;
  r.extraNanoseconds = static_cast<std::uint16_t>(e.nanoseconds % 1000u);
  r.linkType = run != nullptr ? run->linkType : 1;
  r.interface = run != nullptr ? run->interface : 0;
  if (!comments_.empty()) {
    const auto comment = comments_.find(number);
    if (comment != comments_.end()) r.comment = comment->second;
  }
  if ((e.where & kInFile) != 0) {
    // A frame is only left in a file within a run of that file.
    if (run != nullptr && run->file) {
      r.file = run->file;
    } else {
      r.unreadable = true;
    }
  } else {
    r.bytes = std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(e.where), e.capturedLength);
  }
  return r;
}

void PacketBuffer::ReadBack(PacketRecord& record, std::uint64_t offset, std::uint32_t fingerprint,
                            FrameFile::Check check) {
  if (!record.file || record.capturedLength == 0) return;
  FrameFile::Bytes back = record.file->Read(offset, record.capturedLength, check);
  if (back.bytes.size() != record.capturedLength) {
    record.unreadable = true;
    return;
  }
  if (FrameFingerprint(back.bytes) != fingerprint) {
    // The same file, grown, but not with the same frame here any more.
    record.file->MarkChanged();
    record.unreadable = true;
    return;
  }
  record.bytes = back.bytes;
  record.holder = std::move(back.holder);
}

PacketRecord PacketBuffer::WholeRecordAt(std::uint32_t number, const FrameFile*& checked) const {
  PacketRecord r = RecordAt(number);
  if (r.file) {
    // A pass over many frames looks at each file once, at its first frame
    // of it, and then only when it reads from the file.
    const FrameFile::Check check = r.file.get() == checked ? FrameFile::Check::WhenReading : FrameFile::Check::Always;
    checked = r.file.get();
    const Entry& e = chunks_[number / kEntriesPerChunk][number % kEntriesPerChunk];
    ReadBack(r, e.where & ~kInFile, e.fingerprint, check);
  }
  return r;
}

const PacketBuffer::Run* PacketBuffer::RunOf(std::uint32_t number) const {
  // The last run that starts at or before the number.
  const auto after = std::upper_bound(runs_.begin(), runs_.end(), number,
                                      [](std::uint32_t n, const Run& run) { return n < run.first; });
  return after == runs_.begin() ? nullptr : &*std::prev(after);
}

std::vector<int> PacketBuffer::LinkTypes() const {
  std::lock_guard lock(mutex_);
  std::vector<int> out;
  for (const Run& run : runs_) {
    if (std::find(out.begin(), out.end(), run.linkType) == out.end()) out.push_back(run.linkType);
  }
  return out;
}

std::vector<std::uint32_t> PacketBuffer::InterfacesInUse() const {
  std::lock_guard lock(mutex_);
  std::vector<std::uint32_t> out;
  for (const Run& run : runs_) {
    if (std::find(out.begin(), out.end(), run.interface) == out.end()) out.push_back(run.interface);
  }
  return out;
}

bool PacketBuffer::HasNanoseconds() const {
  std::lock_guard lock(mutex_);
  return nanoseconds_;
}

std::optional<std::int64_t> PacketBuffer::TimeNsAt(std::uint32_t number) const {
  std::lock_guard lock(mutex_);
  if (number >= count_) return std::nullopt;
  const Entry& e = chunks_[number / kEntriesPerChunk][number % kEntriesPerChunk];
  return static_cast<std::int64_t>(e.seconds) * 1000000000 + e.nanoseconds;
}

bool PacketBuffer::SetComment(std::uint32_t number, std::string comment) {
  std::lock_guard lock(mutex_);
  if (number >= count_) return false;
  const auto old = comments_.find(number);
  const std::size_t oldSize = old != comments_.end() ? old->second.size() : 0;
  if (comment.size() > oldSize && !WithinBudget(comment.size() - oldSize)) return false;
  const std::size_t newSize = comment.size();
  try {
    if (comment.empty()) {
      if (old != comments_.end()) comments_.erase(old);
    } else if (old != comments_.end()) {
      old->second = std::move(comment);
    } else {
      comments_.emplace(number, std::move(comment));
    }
  } catch (const std::bad_alloc&) {
    return false;  // the comment stays as it was
  }
  held_ = held_ - oldSize + newSize;
  return true;
}

bool PacketBuffer::HasComments() const {
  std::lock_guard lock(mutex_);
  return !comments_.empty();
}

std::optional<PacketRecord> PacketBuffer::Find(std::uint32_t number) const {
  PacketRecord r;
  std::uint64_t offset = 0;
  std::uint32_t fingerprint = 0;
  {
    std::lock_guard lock(mutex_);
    if (number >= count_) return std::nullopt;
    r = RecordAt(number);
    const Entry& e = chunks_[number / kEntriesPerChunk][number % kEntriesPerChunk];
    offset = e.where & ~kInFile;
    fingerprint = e.fingerprint;
  }
  // The file is read outside the lock: the capture thread never waits for it.
  ReadBack(r, offset, fingerprint, FrameFile::Check::Always);
  return r;
}

void PacketBuffer::Clear() {
  std::lock_guard lock(mutex_);
  chunks_.clear();
  blocks_.clear();
  runs_.clear();
  comments_.clear();
  nanoseconds_ = false;
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
  const FrameFile* checked = nullptr;
  for (std::uint32_t n = count_; n-- > 0;) visit(WholeRecordAt(n, checked));
}

void PacketBuffer::ForEachInRange(std::uint32_t first, std::uint32_t last,
                                  const std::function<void(const PacketRecord&)>& visit) const {
  std::lock_guard lock(mutex_);
  const FrameFile* checked = nullptr;
  for (std::uint32_t n = first; n < last && n < count_; ++n) visit(WholeRecordAt(n, checked));
}

}  // namespace qv
