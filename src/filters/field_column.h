#pragma once
// The packet list's field columns ("Apply as Column"): a frame is decoded
// in tree mode and each column shows its field's occurrences in tree order,
// joined by ",", as `tshark -T fields` aggregates them. One reader serves
// one thread and reuses its tree from frame to frame.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "capture/packet_record.h"
#include "decode/decode_tree.h"
#include "filters/display_filter_match.h"
#include "filters/frame_fields.h"

namespace qv {

// A column's value for sorting: integer, Boolean and time fields order by
// their first occurrence's value (`number` orders as it does, signed values
// too; rows without one first), others by text.
struct FieldColumnValue {
  std::string text;
  bool hasNumber = false;
  std::uint64_t number = 0;
};

class FieldColumnReader {
 public:
  FieldColumnReader(std::vector<const FieldInfo*> fields, DecodeSetup setup);

  // `firstTimeNs`: the origin of frame.time_relative (the buffer's first frame).
  void SetFirstTime(std::int64_t ns) { firstNs_ = ns; }
  const std::vector<const FieldInfo*>& Fields() const { return values_.Wanted(); }
  // Every column's value for the record, in the order of Fields();
  // `previousTimeNs` is the time of the frame before it, for frame.time_delta.
  std::vector<FieldColumnValue> Read(const PacketRecord& record, std::optional<std::int64_t> previousTimeNs);

 private:
  DecodeSetup setup_;
  DecodeTree tree_;
  FrameFieldValues values_;
  std::int64_t firstNs_ = 0;
};

// Whether a field's column sorts by number (see FieldColumnValue).
bool SortsByNumber(const FieldInfo& field);

}  // namespace qv
