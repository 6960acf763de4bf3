#pragma once
// Testing buffered or read frames against a display filter: each frame is
// decoded once into a tree kept for the next frame, the fields the filter
// names are collected, and the expression is evaluated. Nothing of a
// frame's decoding is kept after its test. One matcher serves one thread.

#include <cstdint>
#include <memory>

#include "capture/packet_record.h"
#include "decode/decode_tree.h"
#include "decode/enabled_decoders.h"
#include "filters/display_filter.h"
#include "filters/frame_fields.h"

namespace qv {

class QuicInitialMemory;

// How frames are decoded for the test: as the list decodes them.
struct DecodeSetup {
  EnabledDecoders decoders{};
  QuicInitialMemory* quicInitials = nullptr;  // may be null
};

class DisplayFilterMatcher {
 public:
  DisplayFilterMatcher(DisplayFilterPtr filter, DecodeSetup setup);
  ~DisplayFilterMatcher();

  // Whether the record satisfies the filter. Frames are expected in rising
  // order: the first one seen sets frame.time_relative's origin unless
  // SetFirstTime() did, and each one is the next one's previous frame.
  bool Matches(const PacketRecord& record);
  // The time frame.time_relative counts from (the capture's first frame).
  void SetFirstTime(std::int64_t ns);

  const DisplayFilter& Filter() const { return *filter_; }

 private:
  DisplayFilterPtr filter_;
  DecodeSetup setup_;
  DecodeTree tree_;
  FrameFieldValues values_;
  bool decode_;  // false when the filter names only the frame's own fields
  bool haveFirst_ = false;
  std::int64_t firstNs_ = 0;
  bool havePrevious_ = false;
  std::int64_t previousNs_ = 0;
};

// A record's time in nanoseconds since 1970.
inline std::int64_t RecordTimeNs(const PacketRecord& r) {
  return static_cast<std::int64_t>(r.seconds) * 1000000000 + static_cast<std::int64_t>(r.microseconds) * 1000;
}

}  // namespace qv
