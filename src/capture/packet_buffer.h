#pragma once
// The frames of a capture session. Packet numbers run from 0 in capture order
// and restart at 0 whenever the buffer is emptied, so a record is found by its
// number in constant time and clearing is linear. Every frame has a 32-byte
// index entry. A frame read from a savefile stays there: the entry says where,
// and the frame is read back whenever a record of it is asked for (see
// frame_file.h), so a file larger than memory can be read. Other frames (live
// ones, or from a pipe) are copied into large blocks, packed. Readers see the
// buffer newest first where the order matters (Save).
//
// Thread safety: every member may be called from any thread. The bytes of a
// record held in memory stay valid until the next Clear(); those read back
// from a file as long as the record (its `holder`) lives.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "capture/buffer_blocks.h"
#include "capture/frame_file.h"
#include "capture/packet_record.h"

namespace qv {

class PacketBuffer {
 public:
  PacketBuffer();
  ~PacketBuffer();
  PacketBuffer(const PacketBuffer&) = delete;
  PacketBuffer& operator=(const PacketBuffer&) = delete;

  struct Appended {
    PacketRecord record;        // the stored copy (a frame left in its file: the bytes given)
    std::uint32_t count;        // records now held
    std::uint64_t bufferedBytes;  // their captured bytes
  };
  // Why a frame could not be buffered.
  enum class Refusal { None, OutOfMemory, OverBudget };

  // Where a frame came from: an adapter, or an interface of a file. Saving
  // as pcapng writes one interface description for each.
  struct Interface {
    int linkType = 1;
    std::string name;
    std::string description;
    bool operator==(const Interface&) const = default;
  };
  // The number of that interface, the same for the same link type, name and
  // description; kept until the buffer is destroyed, so that a reader may
  // hold on to it across clears.
  std::uint32_t AddInterface(Interface interface);
  Interface InterfaceAt(std::uint32_t number) const;

  // How a frame is taken in: the link type of its interface, where it lies
  // when it is left in a file, and its comment.
  struct Origin {
    int linkType = 1;
    const FramePlace* place = nullptr;
    std::optional<std::uint32_t> interface;  // from AddInterface(); none: the link type's unnamed one
    std::string_view comment;
  };

  // Takes the frame in and gives it the next packet number. `bytes` holds
  // header.capturedLength bytes; `linkType` is that of the run reading it.
  // With a `place`, the frame is left in that file at that offset; without,
  // it is copied. Empty when no memory could be had for it, or when holding
  // it would take the buffer over its memory budget; the buffer is then as
  // before and LastRefusal() says why.
  std::optional<Appended> TryAppend(const FrameHeader& header, const std::uint8_t* bytes, int linkType = 1,
                                    const FramePlace* place = nullptr);
  std::optional<Appended> TryAppend(const FrameHeader& header, const std::uint8_t* bytes, const Origin& origin);
  Refusal LastRefusal() const;
  // As TryAppend(), throwing std::bad_alloc when the frame is refused.
  Appended Append(const FrameHeader& header, const std::uint8_t* bytes, int linkType = 1);

  // The memory the buffer may hold for frames and their index, in bytes
  // (0: no limit). Checked whenever a new block is needed.
  void SetMemoryBudget(std::uint64_t bytes);
  std::uint64_t MemoryBudget() const;
  // Memory held now for frames and their index.
  std::uint64_t HeldBytes() const;
  // Where blocks come from (the kernel, unless a test says otherwise). Only
  // while the buffer is not being filled.
  void SetAllocator(BlockAllocator& allocator);

  // The record, its bytes read back from its file when it was left there
  // (with `unreadable` set when the file has changed since).
  std::optional<PacketRecord> Find(std::uint32_t number) const;

  // The time of the record, in nanoseconds since 1970, from its index entry
  // (no bytes are read back); nothing when it is not held.
  std::optional<std::int64_t> TimeNsAt(std::uint32_t number) const;

  // Sets the comment of a held record (an empty one removes it); false when
  // the record is not held or the memory budget has no room for it.
  bool SetComment(std::uint32_t number, std::string comment);
  // Whether any held record has a comment.
  bool HasComments() const;

  // Removes every record; the next number is 0 again.
  void Clear();

  std::uint32_t Count() const;
  std::uint64_t BufferedBytes() const;
  std::uint32_t MaxCapturedLength() const;
  // The link types of the records, in the order they first appear.
  std::vector<int> LinkTypes() const;
  // The interfaces of the records, in the order they first appear.
  std::vector<std::uint32_t> InterfacesInUse() const;
  // Whether a record's time stamp has digits beyond the microsecond.
  bool HasNanoseconds() const;

  // Visits the records newest first, under the buffer's lock.
  void ForEachNewestFirst(const std::function<void(const PacketRecord&)>& visit) const;
  // Visits the records numbered first..last-1 that are held, oldest first,
  // under the buffer's lock (so no clear frees them meanwhile).
  void ForEachInRange(std::uint32_t first, std::uint32_t last,
                      const std::function<void(const PacketRecord&)>& visit) const;

 private:
  struct Entry {
    // The copy's address, or kInFile with the frame's offset in its run's file.
    std::uint64_t where;
    std::uint32_t capturedLength;
    std::uint32_t wireLength;
    std::uint32_t seconds;
    std::uint32_t nanoseconds;
    std::uint32_t fingerprint;  // of a frame left in its file: FrameFingerprint() when it was read
  };
  static constexpr std::uint64_t kInFile = std::uint64_t{1} << 63;
  static constexpr std::size_t kEntriesPerChunk = 16384;
  static constexpr std::size_t kBlockSize = 4u << 20;

  struct BlockDeleter {
    BlockAllocator* allocator;
    std::size_t size;
    void operator()(std::uint8_t* block) const { allocator->Release(block, size); }
  };
  using Block = std::unique_ptr<std::uint8_t[], BlockDeleter>;
  // A block of `size` bytes, or an empty one (refusal_ says why).
  Block NewBlock(std::size_t size);
  bool WithinBudget(std::size_t more) const;

  // Where the frame's copy went; null with refusal_ set when it could not be stored.
  const std::uint8_t* Store(const std::uint8_t* bytes, std::uint32_t length);
  // The record as the index has it: a frame left in its file comes with
  // that file and no bytes (ReadBack() fetches them).
  PacketRecord RecordAt(std::uint32_t number) const;
  static void ReadBack(PacketRecord& record, std::uint64_t offset, std::uint32_t fingerprint,
                       FrameFile::Check check);
  // RecordAt() with the bytes read back; `checked` is the file a pass over
  // many records last looked at (null at its start).
  PacketRecord WholeRecordAt(std::uint32_t number, const FrameFile*& checked) const;

  // Runs of records of one link type and one file, by their first number:
  // both change only between runs, so they cost nothing per record.
  struct Run {
    std::uint32_t first;
    int linkType;
    std::uint32_t interface;
    std::shared_ptr<FrameFile> file;  // where its frames left in a file lie
  };
  std::uint32_t InterfaceFor(int linkType);  // the link type's unnamed interface (under mutex_)
  std::uint32_t AddInterfaceLocked(Interface interface);
  const Run* RunOf(std::uint32_t number) const;

  mutable std::mutex mutex_;
  std::vector<Run> runs_;
  std::vector<Interface> interfaces_;
  std::unordered_map<std::uint32_t, std::string> comments_;
  bool nanoseconds_ = false;
  std::vector<std::unique_ptr<Entry[]>> chunks_;
  std::vector<Block> blocks_;
  std::size_t blockUsed_ = kBlockSize;  // bytes used in blocks_.back()
  BlockAllocator* allocator_ = &MappedBlockAllocator::Instance();
  std::unique_ptr<SpareBlock> spare_;  // made at the first block
  std::uint64_t held_ = 0;             // bytes in blocks_ and chunks_
  std::uint64_t budget_ = 0;
  Refusal refusal_ = Refusal::None;
  std::uint32_t count_ = 0;
  std::uint64_t bytes_ = 0;
  std::uint32_t maxCaptured_ = 0;
};

}  // namespace qv
