#include "filters/filter_expression.h"

namespace qv {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

// Whether the value bytes are all there for a field of a fixed width; a
// line whose bytes were cut short is offered as the field's presence.
bool HasWholeValue(const FieldInfo& f, std::span<const std::uint8_t> bytes) {
  switch (f.type) {
    case FieldType::Ipv4:
    case FieldType::Ipv6:
    case FieldType::Mac: return bytes.size() == FieldWidth(f);
    case FieldType::Bytes: return !bytes.empty();
    default: return true;
  }
}

// "1497881574.488488492"; a time before 1970 with a minus sign.
std::string EpochSeconds(std::int64_t ns) {
  const bool negative = ns < 0;
  const std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(ns) : static_cast<std::uint64_t>(ns);
  std::string fraction = std::to_string(magnitude % 1000000000u);
  fraction.insert(0, 9 - fraction.size(), '0');
  return (negative ? "-" : "") + std::to_string(magnitude / 1000000000u) + "." + fraction;
}

std::string Parenthesised(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out += '(';
  out += text;
  out += ')';
  return out;
}

std::string_view Trimmed(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace

std::string ByteStringText(std::span<const std::uint8_t> bytes) {
  std::string out;
  out.reserve(bytes.size() * 3);
  for (const std::uint8_t b : bytes) {
    if (!out.empty()) out += ':';
    out += kHexDigits[b >> 4];
    out += kHexDigits[b & 0xF];
  }
  return out;
}

std::string QuoteFilterString(std::span<const std::uint8_t> bytes) {
  std::string out;
  out.reserve(bytes.size() + 2);
  out += '"';
  for (const std::uint8_t b : bytes) {
    if (b == '\\' || b == '"') {
      out += '\\';
      out += static_cast<char>(b);
    } else if (b < 0x20 || b >= 0x7F) {
      // A name may hold any byte; the escape keeps the text on one line and
      // compares as the very byte.
      out += "\\x";
      out += kHexDigits[b >> 4];
      out += kHexDigits[b & 0xF];
    } else {
      out += static_cast<char>(b);
    }
  }
  out += '"';
  return out;
}

std::string QuoteFilterString(std::string_view text) {
  return QuoteFilterString(
      std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

std::string FilterForLine(const DecodeNode& node, std::span<const std::uint8_t> frame) {
  if (node.field == nullptr) return {};
  const FieldInfo& f = *node.field;
  std::string out(f.abbrev);
  const std::span<const std::uint8_t> bytes = ValueBytes(node, frame);
  if (f.type == FieldType::Protocol || f.type == FieldType::None || !HasWholeValue(f, bytes)) return out;
  out += " == ";
  switch (f.type) {
    case FieldType::Bytes: out += ByteStringText(bytes); break;
    case FieldType::String: out += QuoteFilterString(bytes); break;
    // The language reads times as seconds: since 1970 for an absolute one.
    case FieldType::AbsoluteTime: out += EpochSeconds(static_cast<std::int64_t>(node.value)); break;
    default: out += FieldValueText(f, node.value, bytes); break;
  }
  return out;
}

std::string CombineFilters(std::string_view current, std::string_view selected, FilterCombine how) {
  current = Trimmed(current);
  selected = Trimmed(selected);
  const std::string negated = "!" + Parenthesised(selected);
  switch (how) {
    case FilterCombine::Selected: return std::string(selected);
    case FilterCombine::NotSelected: return negated;
    case FilterCombine::AndSelected:
      return current.empty() ? std::string(selected) : Parenthesised(current) + " && " + Parenthesised(selected);
    case FilterCombine::OrSelected:
      return current.empty() ? std::string(selected) : Parenthesised(current) + " || " + Parenthesised(selected);
    case FilterCombine::AndNotSelected:
      return current.empty() ? negated : Parenthesised(current) + " && " + negated;
    case FilterCombine::OrNotSelected:
      return current.empty() ? negated : Parenthesised(current) + " || " + negated;
  }
  return std::string(selected);
}

std::string ConversationFilter(const IpAddress& a, const IpAddress& b) {
  const auto term = [](const IpAddress& x) { return std::string(x.IsV6() ? "ipv6.addr == " : "ip.addr == ") + x.Text(); };
  return term(a) + " && " + term(b);
}

}  // namespace qv
