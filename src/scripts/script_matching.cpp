#include "scripts/script_matching.h"

#include <cstdio>

#include "scripts/script_text.h"

namespace qv {

namespace {

// Big-endian value of `width` bytes at `at`; nothing unless all were captured.
std::optional<std::uint32_t> ReadBigEndian(const std::uint8_t* frame, std::uint32_t capturedLength, std::int64_t at,
                                           std::uint32_t width) {
  if (at < 0 || at + static_cast<std::int64_t>(width) > static_cast<std::int64_t>(capturedLength)) return std::nullopt;
  std::uint32_t value = 0;
  for (std::uint32_t i = 0; i < width; ++i) value = value << 8 | frame[at + i];
  return value;
}

}  // namespace

bool MatchScript(const ProtocolScript& script, const std::uint8_t* frame, std::uint32_t parentStart,
                 std::uint32_t scriptStart, std::uint32_t capturedLength, std::string_view parentName) {
  if (!scripttext::EqualsNoCase(script.parentName, parentName)) return false;
  for (const ScriptCondition& condition : script.conditions) {
    const bool own = condition.side == 'c' || condition.side == 'C';
    const std::int64_t at = static_cast<std::int64_t>(own ? scriptStart : parentStart) + condition.start;
    const auto byte = ReadBigEndian(frame, capturedLength, at, 1);
    if (!byte) return false;
    const int b = static_cast<int>(*byte);
    bool holds = false;
    switch (condition.op) {
      case '=': holds = b == condition.value; break;
      case '!': holds = b != condition.value; break;
      case '<': holds = b < condition.value; break;
      case '>': holds = b > condition.value; break;
      default: holds = false;
    }
    if (!holds) return false;
  }
  return true;
}

std::uint32_t ScriptLength(const ProtocolScript& script, const std::uint8_t* frame, std::uint32_t scriptStart,
                           std::uint32_t capturedLength) {
  const std::uint32_t rest = scriptStart < capturedLength ? capturedLength - scriptStart : 0;
  std::string_view rule = script.sizeRule;
  if (scripttext::EqualsNoCase(rule, "FULL")) return rest;
  if (!rule.empty() && rule.front() == '&') {
    rule.remove_prefix(1);
    const int offset = scripttext::ReadInt(rule).value_or(0);
    const int width = scripttext::ReadInt(rule).value_or(0);
    if (width != 1 && width != 2) return 0;
    const auto length = ReadBigEndian(frame, capturedLength, static_cast<std::int64_t>(scriptStart) + offset,
                                      static_cast<std::uint32_t>(width));
    return length ? *length : rest;
  }
  const int size = scripttext::ReadInt(rule).value_or(0);
  return size > 0 ? static_cast<std::uint32_t>(size) : 0;
}

std::string ConvertLabelValue(char conversion, const std::optional<LabelValue>& value) {
  if (!value) return {};
  const std::uint32_t v = value->value;
  const std::uint32_t w = value->width;
  if (w != 1 && w != 2 && w != 4) return {};
  char text[16];
  switch (conversion) {
    case 'x': std::snprintf(text, sizeof text, "%0*x", static_cast<int>(w * 2), v); break;
    case 'X': std::snprintf(text, sizeof text, "%0*X", static_cast<int>(w * 2), v); break;
    case 'd': std::snprintf(text, sizeof text, "%d", static_cast<std::int32_t>(v)); break;
    case 'u': std::snprintf(text, sizeof text, "%u", v); break;
    case 'c': {
      // The byte as a Latin-1 character; the tree's texts are UTF-8. A zero
      // byte shows as nothing (it would end a C string).
      const auto byte = static_cast<unsigned char>(v & 0xFF);
      if (byte == 0) return {};
      if (byte < 0x80) return std::string(1, static_cast<char>(byte));
      return {static_cast<char>(0xC0 | byte >> 6), static_cast<char>(0x80 | (byte & 0x3F))};
    }
    default: return {};
  }
  return text;
}

std::string RenderLabel(std::string_view label, const std::optional<LabelValue>& value) {
  std::string out;
  out.reserve(label.size() + 8);
  for (std::size_t i = 0; i < label.size(); ++i) {
    const char c = label[i];
    if (c != '%' || i + 1 == label.size()) {
      out.push_back(c);
    } else if (label[i + 1] == '%') {
      out.append("%%");
      ++i;
    } else {
      out += ConvertLabelValue(label[i + 1], value);
      ++i;
    }
  }
  return out;
}

}  // namespace qv
