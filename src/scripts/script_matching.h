#pragma once
// How a loaded script meets a frame: whether it matches an offer, how long
// its header is, and how its field labels are filled in. Every read is
// checked against the captured length.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "scripts/protocol_script.h"

namespace qv {

// True when the script sits on `parentName` (any letter case) and all of its
// conditions hold. A condition on a byte that was not captured fails.
bool MatchScript(const ProtocolScript& script, const std::uint8_t* frame, std::uint32_t parentStart,
                 std::uint32_t scriptStart, std::uint32_t capturedLength, std::string_view parentName);

// The script protocol's header length by its size rule: "FULL" takes the
// captured rest; "&offset width" reads a 1- or 2-byte big-endian length at
// script start + offset (the captured rest when those bytes are missing, 0
// for another width); otherwise the number the rule holds (a negative one
// counts as 0).
std::uint32_t ScriptLength(const ProtocolScript& script, const std::uint8_t* frame, std::uint32_t scriptStart,
                           std::uint32_t capturedLength);

// A value shown by a label's conversions: `width` bytes read big-endian.
struct LabelValue {
  std::uint32_t value = 0;
  std::uint32_t width = 0;  // 1, 2 or 4; anything else shows as empty text
};

// One conversion character applied to the value: x, X, d, u or c; empty
// text for any other character, a missing value or an unusable width.
std::string ConvertLabelValue(char conversion, const std::optional<LabelValue>& value);

// Replaces each "%" and the character after it by ConvertLabelValue; "%%"
// stays as it is and so does a "%" at the very end.
std::string RenderLabel(std::string_view label, const std::optional<LabelValue>& value);

}  // namespace qv
