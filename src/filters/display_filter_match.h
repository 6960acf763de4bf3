#pragma once
// Testing buffered or read frames against a display filter: each frame is
// decoded once for the fields the filter names (see field_decoding.h) and
// the expression is evaluated over their values. Nothing of a frame's
// decoding is kept after its test. One matcher serves one thread.

#include <cstdint>

#include "capture/packet_record.h"
#include "filters/display_filter.h"
#include "filters/field_decoding.h"

namespace qv {

class DisplayFilterMatcher {
 public:
  DisplayFilterMatcher(DisplayFilterPtr filter, DecodeSetup setup);

  // Whether the record satisfies the filter. Frames are expected in rising
  // order: the first one seen sets frame.time_relative's origin unless
  // SetFirstTime() did, and each one is the next one's previous frame.
  bool Matches(const PacketRecord& record);
  // The time frame.time_relative counts from (the capture's first frame).
  void SetFirstTime(std::int64_t ns);
  // The next frame follows a frame of this time, whatever this matcher saw last.
  void Follows(std::int64_t previousNs);

  const DisplayFilter& Filter() const { return *filter_; }

 private:
  DisplayFilterPtr filter_;
  FieldDecoding decoding_;
  bool haveFirst_ = false;
  std::int64_t firstNs_ = 0;
  bool havePrevious_ = false;
  std::int64_t previousNs_ = 0;
};

// A record's time in nanoseconds since 1970.
inline std::int64_t RecordTimeNs(const PacketRecord& r) {
  return static_cast<std::int64_t>(r.seconds) * 1000000000 + static_cast<std::int64_t>(NanosecondsOf(r));
}

// What the frame's own fields show for `record`.
FrameFacts FactsOf(const PacketRecord& record, std::int64_t firstNs, std::int64_t previousNs);

}  // namespace qv
