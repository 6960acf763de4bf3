#pragma once
// Records taken out of the packet buffer under its lock, to be tested or
// decoded after the lock is let go. A frame held in the buffer's memory is
// copied (a Clear() may free it as soon as the lock is let go); a frame read
// back from its file is held by its record's `holder` and is not copied.

#include <cstdint>
#include <vector>

#include "capture/packet_record.h"

namespace qv {

class RecordBatch {
 public:
  void Clear();
  // Takes `record` in (under the buffer's lock, in ForEachInRange).
  void Add(const PacketRecord& record);
  // The records taken in, their bytes valid until the next Clear(); only
  // once every record has been added.
  const std::vector<PacketRecord>& Records();

 private:
  static constexpr std::size_t kHeld = SIZE_MAX;
  std::vector<PacketRecord> records_;
  std::vector<std::uint8_t> copies_;
  std::vector<std::size_t> copiedAt_;  // into copies_, or kHeld
  bool pointed_ = false;               // records_' bytes point into copies_
};

}  // namespace qv
