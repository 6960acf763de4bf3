#pragma once
// Fields that no decode line shows by itself: the frame's own facts
// (frame.len, frame.time_relative, ...) and the either-side fields that
// stand for a source and a destination at once (ip.addr, tcp.port, ...).
// They are registered like every other field, so display filters and
// `-G fields` know them.

#include <span>

#include "decode/fields.h"

namespace qv {

enum class FrameFact : std::uint8_t {
  None,  // not a frame field
  Frame, // the protocol "frame" itself: every frame has it
  Number,
  Length,
  CapturedLength,
  TimeEpoch,
  TimeRelative,
  TimeDelta,
};

// Which frame fact `f` is; FrameFact::None for any other field.
FrameFact FrameFactOf(const FieldInfo& f);

// frame.comment: the frame's comment, a line of its own at the top of its tree.
const FieldInfo& FrameCommentField();

// The two sides of an either-side field (ip.src and ip.dst for ip.addr);
// empty for any other field.
std::span<const FieldInfo* const> FieldSides(const FieldInfo& f);

}  // namespace qv
