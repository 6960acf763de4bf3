#pragma once
// The values of chosen fields in one decoded frame: what a display filter
// tests and what `-T fields` prints. Each chosen field gets the list of its
// occurrences in tree order. An either-side field (ip.addr, tcp.port, ...)
// occurs wherever one of its sides does; a protocol occurs wherever its
// layer line does; the frame's own fields (frame.len, frame.number, ...)
// come from the record.
//
// One object is reused frame after frame, so collecting allocates nothing
// once its lists have grown.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "decode/decode_tree.h"
#include "decode/fields.h"

namespace qv {

// What a frame's own fields show (the record, not its decoding).
struct FrameFacts {
  std::uint32_t number = 1;          // 1-based, as the list and tshark count
  std::uint32_t wireLength = 0;
  std::uint32_t capturedLength = 0;
  std::int64_t timeNs = 0;           // since 1970, UTC
  std::int64_t relativeNs = 0;       // since the first frame
  std::int64_t deltaNs = 0;          // since the previous frame
};

struct FieldOccurrence {
  const FieldInfo* field = nullptr;  // the line's own field (ip.src for an ip.addr occurrence)
  std::uint64_t number = 0;          // integer, Boolean and time values
  // Address, bytes and string values; a protocol's bytes (its layer's
  // range). Points into the frame or the tree, valid until the next Collect.
  std::span<const std::uint8_t> bytes;
  std::string_view text;  // a protocol's layer line, as `-T fields` writes it
};

class FrameFieldValues {
 public:
  explicit FrameFieldValues(std::vector<const FieldInfo*> wanted);

  // Collects the occurrences of every wanted field from the frame's tree.
  void Collect(const DecodeTree& tree, std::span<const std::uint8_t> frame, const FrameFacts& facts);

  const std::vector<const FieldInfo*>& Wanted() const { return wanted_; }
  // The occurrences of Wanted()[i], in tree order.
  std::span<const FieldOccurrence> Of(std::size_t i) const { return values_[i]; }

 private:
  std::vector<const FieldInfo*> wanted_;
  std::vector<std::vector<FieldOccurrence>> values_;
};

// An occurrence's value as `tshark -T fields` writes it (the either-side
// field writes its side's value; a protocol writes its name).
std::string OccurrenceText(const FieldOccurrence& occurrence);

}  // namespace qv
