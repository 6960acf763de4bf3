#pragma once
// The frames of a capture session. Packet numbers run from 0 in capture order
// and restart at 0 whenever the buffer is emptied, so a record is found by its
// number in constant time and clearing is linear. Frame bytes are packed into
// large blocks: a buffered frame costs its captured bytes plus a 24-byte index
// entry. Readers see the buffer newest first where the order matters (Save).
//
// Thread safety: every member may be called from any thread. The spans handed
// out stay valid until the next Clear().

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "capture/packet_record.h"

namespace qv {

class PacketBuffer {
 public:
  PacketBuffer();
  ~PacketBuffer();
  PacketBuffer(const PacketBuffer&) = delete;
  PacketBuffer& operator=(const PacketBuffer&) = delete;

  struct Appended {
    PacketRecord record;        // the stored copy
    std::uint32_t count;        // records now held
    std::uint64_t bufferedBytes;  // their captured bytes
  };
  // Copies the frame in and gives it the next packet number. `bytes` holds
  // header.capturedLength bytes; `linkType` is that of the run reading it.
  Appended Append(const FrameHeader& header, const std::uint8_t* bytes, int linkType = 1);

  std::optional<PacketRecord> Find(std::uint32_t number) const;

  // Removes every record; the next number is 0 again.
  void Clear();

  std::uint32_t Count() const;
  std::uint64_t BufferedBytes() const;
  std::uint32_t MaxCapturedLength() const;
  // The link types of the records, in the order they first appear.
  std::vector<int> LinkTypes() const;

  // Visits the records newest first, under the buffer's lock.
  void ForEachNewestFirst(const std::function<void(const PacketRecord&)>& visit) const;
  // Visits the records numbered first..last-1 that are held, oldest first,
  // under the buffer's lock (so no clear frees them meanwhile).
  void ForEachInRange(std::uint32_t first, std::uint32_t last,
                      const std::function<void(const PacketRecord&)>& visit) const;

 private:
  struct Entry {
    const std::uint8_t* data;
    std::uint32_t capturedLength;
    std::uint32_t wireLength;
    std::uint32_t seconds;
    std::uint32_t microseconds;
  };
  static constexpr std::size_t kEntriesPerChunk = 16384;
  static constexpr std::size_t kBlockSize = 4u << 20;

  struct BlockDeleter {
    std::size_t size;
    void operator()(std::uint8_t* block) const;
  };
  using Block = std::unique_ptr<std::uint8_t[], BlockDeleter>;
  static Block NewBlock(std::size_t size);

  const std::uint8_t* Store(const std::uint8_t* bytes, std::uint32_t length);
  PacketRecord RecordAt(std::uint32_t number) const;

  // Runs of records of one link type, by their first number: the link type
  // changes only between runs, so it costs nothing per record.
  struct LinkTypeRun {
    std::uint32_t first;
    int linkType;
  };
  int LinkTypeAt(std::uint32_t number) const;

  mutable std::mutex mutex_;
  std::vector<LinkTypeRun> linkTypeRuns_;
  std::vector<std::unique_ptr<Entry[]>> chunks_;
  std::vector<Block> blocks_;
  std::size_t blockUsed_ = kBlockSize;  // bytes used in blocks_.back()
  std::uint32_t count_ = 0;
  std::uint64_t bytes_ = 0;
  std::uint32_t maxCaptured_ = 0;
};

}  // namespace qv
