#include "cli/json_text.h"

#include <cstdint>

namespace qv {

namespace {

constexpr char kHex[] = "0123456789abcdef";

// Bytes that pass unchanged: printable ASCII other than the quote and the
// backslash.
constexpr bool IsPlain(unsigned char c) { return c >= 0x20 && c < 0x80 && c != '"' && c != '\\'; }

void AppendEscapedByte(std::string& out, unsigned char c) {
  switch (c) {
    case '"': out += "\\\""; return;
    case '\\': out += "\\\\"; return;
    case '\n': out += "\\n"; return;
    case '\r': out += "\\r"; return;
    case '\t': out += "\\t"; return;
    case '\b': out += "\\b"; return;
    case '\f': out += "\\f"; return;
    default: break;
  }
  const char code[6] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 0xF]};
  out.append(code, sizeof code);
}

constexpr bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

}  // namespace

std::size_t Utf8SequenceLength(std::string_view text) {
  if (text.empty()) return 0;
  const auto b0 = static_cast<unsigned char>(text[0]);
  if (b0 < 0x80) return 1;
  std::size_t length;
  // The second byte's range excludes overlong forms, surrogates and code
  // points beyond U+10FFFF.
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    length = 2;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    length = 3;
    if (b0 == 0xE0) low = 0xA0;
    if (b0 == 0xED) high = 0x9F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    length = 4;
    if (b0 == 0xF0) low = 0x90;
    if (b0 == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  const auto b1 = static_cast<unsigned char>(text[1]);
  if (b1 < low || b1 > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (!IsContinuation(static_cast<unsigned char>(text[i]))) return 0;
  }
  return length;
}

void AppendJsonString(std::string& out, std::string_view text) {
  out += '"';
  std::size_t at = 0;
  while (at < text.size()) {
    // Runs of plain bytes are copied in one piece.
    std::size_t run = at;
    while (run < text.size() && IsPlain(static_cast<unsigned char>(text[run]))) ++run;
    if (run != at) {
      out.append(text.data() + at, run - at);
      at = run;
      if (at == text.size()) break;
    }
    const auto c = static_cast<unsigned char>(text[at]);
    if (c < 0x80) {
      AppendEscapedByte(out, c);
      ++at;
      continue;
    }
    const std::size_t length = Utf8SequenceLength(text.substr(at));
    if (length == 0) {
      AppendEscapedByte(out, c);
      ++at;
    } else {
      out.append(text.data() + at, length);
      at += length;
    }
  }
  out += '"';
}

}  // namespace qv
