#include "filters/display_filter_literals.h"

#include "filters/filter_expression.h"

#include <arpa/inet.h>

#include <charconv>
#include <cstdio>

namespace qv {

namespace {

std::string Quoted(std::string_view s) { return "`" + std::string(s) + "`"; }

std::span<const std::uint8_t> AsBytes(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Decimal, 0x hexadecimal or 0 octal, with an optional minus sign.
bool ParseInteger(std::string_view s, WideInt* out) {
  bool negative = false;
  if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  if (s.empty()) return false;
  int base = 10;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  } else if (s.size() > 1 && s[0] == '0') {
    base = 8;
    s.remove_prefix(1);
  }
  std::uint64_t v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v, base);
  if (ec != std::errc() || end != s.data() + s.size()) return false;
  *out = negative ? -static_cast<WideInt>(v) : static_cast<WideInt>(v);
  return true;
}

// Seconds with up to nine decimals, as nanoseconds.
bool ParseSeconds(std::string_view s, WideInt* out) {
  bool negative = false;
  if (!s.empty() && s[0] == '-') {
    negative = true;
    s.remove_prefix(1);
  }
  const std::size_t dot = s.find('.');
  const std::string_view whole = s.substr(0, dot);
  const std::string_view fraction = dot == std::string_view::npos ? std::string_view() : s.substr(dot + 1);
  if (whole.empty() && fraction.empty()) return false;
  std::uint64_t seconds = 0;
  if (!whole.empty()) {
    const auto [end, ec] = std::from_chars(whole.data(), whole.data() + whole.size(), seconds);
    if (ec != std::errc() || end != whole.data() + whole.size() || seconds > 9'000'000'000u) return false;
  }
  if (fraction.size() > 9) return false;
  std::uint64_t ns = 0;
  for (std::size_t i = 0; i < 9; ++i) {
    const char c = i < fraction.size() ? fraction[i] : '0';
    if (c < '0' || c > '9') return false;
    ns = ns * 10 + static_cast<std::uint64_t>(c - '0');
  }
  const WideInt v = static_cast<WideInt>(seconds) * 1000000000 + static_cast<WideInt>(ns);
  *out = negative ? -v : v;
  return true;
}

// Hex bytes: "aa:bb:cc", "aa-bb-cc", "aa.bb.cc" (one or two digits a byte),
// or "aabbcc".
bool ParseHexBytes(std::string_view s, std::string* out) {
  out->clear();
  if (s.empty()) return false;
  const bool separated = s.find_first_of(":-.") != std::string_view::npos;
  if (!separated) {
    if (s.size() % 2 != 0) return false;
    for (std::size_t i = 0; i < s.size(); i += 2) {
      const int h = HexValue(s[i]);
      const int l = HexValue(s[i + 1]);
      if (h < 0 || l < 0) return false;
      *out += static_cast<char>(h * 16 + l);
    }
    return true;
  }
  const char separator = s[s.find_first_of(":-.")];
  std::size_t i = 0;
  while (true) {
    const std::size_t next = s.find(separator, i);
    const std::string_view part = s.substr(i, next == std::string_view::npos ? std::string_view::npos : next - i);
    if (part.empty() || part.size() > 2) return false;
    int v = 0;
    for (const char c : part) {
      const int d = HexValue(c);
      if (d < 0) return false;
      v = v * 16 + d;
    }
    *out += static_cast<char>(v);
    if (next == std::string_view::npos) return true;
    i = next + 1;
  }
}

bool ParseMac(std::string_view s, std::string* out) {
  // Cisco's spelling: three groups of four digits.
  if (s.size() == 14 && s[4] == '.' && s[9] == '.') {
    std::string digits;
    digits.append(s.substr(0, 4)).append(s.substr(5, 4)).append(s.substr(10, 4));
    return ParseHexBytes(digits, out) && out->size() == 6;
  }
  if (s.find_first_of(":-") == std::string_view::npos) return false;
  return ParseHexBytes(s, out) && out->size() == 6;
}

// An address with an optional "/prefix" of at most `maxBits`.
bool ParseAddress(std::string_view s, int family, Literal* out) {
  const int maxBits = family == AF_INET ? 32 : 128;
  std::string_view address = s;
  int prefix = -1;
  if (const std::size_t slash = s.find('/'); slash != std::string_view::npos) {
    address = s.substr(0, slash);
    const std::string_view bits = s.substr(slash + 1);
    int v = 0;
    const auto [end, ec] = std::from_chars(bits.data(), bits.data() + bits.size(), v);
    if (bits.empty() || ec != std::errc() || end != bits.data() + bits.size() || v < 0 || v > maxBits) return false;
    prefix = v;
  }
  if (address.size() > 63) return false;
  const std::string text(address);
  unsigned char bytes[16] = {};
  if (inet_pton(family, text.c_str(), bytes) != 1) return false;
  out->bytes.assign(reinterpret_cast<const char*>(bytes), family == AF_INET ? 4 : 16);
  out->prefixBits = prefix == maxBits ? -1 : prefix;
  char shown[INET6_ADDRSTRLEN] = {};
  inet_ntop(family, bytes, shown, sizeof shown);
  out->text = shown;
  if (out->prefixBits >= 0) out->text += "/" + std::to_string(prefix);
  return true;
}

std::string TypeWords(const FieldInfo& f) {
  switch (f.type) {
    case FieldType::Ipv4: return "an IPv4 address";
    case FieldType::Ipv6: return "an IPv6 address";
    case FieldType::Mac: return "a MAC address";
    case FieldType::Boolean: return "a Boolean value (1, 0, True or False)";
    case FieldType::AbsoluteTime:
    case FieldType::RelativeTime: return "a time in seconds";
    default: return IsIntegerField(f) ? "a number" : "a byte string";
  }
}

std::string WideText(WideInt v) {
  const bool negative = v < 0;
  // Literals are at most 64 bits wide, so their magnitude fits in 65.
  WideInt m = negative ? -v : v;
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(m % 10)));
    m /= 10;
  } while (m != 0);
  return negative ? "-" + digits : digits;
}

std::string SecondsText(WideInt ns) {
  const bool negative = ns < 0;
  const WideInt m = negative ? -ns : ns;
  char fraction[16];
  std::snprintf(fraction, sizeof fraction, ".%09u", static_cast<unsigned>(m % 1000000000));
  return (negative ? "-" : "") + WideText(m / 1000000000) + fraction;
}

// The largest value an integer field holds (its mask's bits, or its width's).
WideInt MaxOf(const FieldInfo& f) {
  if (f.mask != 0) {
    std::uint64_t m = f.mask;
    while ((m & 1) == 0) m >>= 1;
    return static_cast<WideInt>(m);
  }
  const std::uint32_t bits = FieldWidth(f) * 8;
  const bool isSigned = f.type == FieldType::Int8 || f.type == FieldType::Int16 || f.type == FieldType::Int32;
  if (isSigned) return (static_cast<WideInt>(1) << (bits - 1)) - 1;
  return (static_cast<WideInt>(1) << bits) - 1;
}

WideInt MinOf(const FieldInfo& f) {
  const bool isSigned = f.type == FieldType::Int8 || f.type == FieldType::Int16 || f.type == FieldType::Int32;
  if (!isSigned || f.mask != 0) return 0;
  return -(static_cast<WideInt>(1) << (FieldWidth(f) * 8 - 1));
}

}  // namespace

ValueClass ClassOf(const FieldInfo& f, bool sliced) {
  if (sliced) return ValueClass::Bytes;
  switch (f.type) {
    case FieldType::AbsoluteTime:
    case FieldType::RelativeTime: return ValueClass::Number;
    default: return IsIntegerField(f) ? ValueClass::Number : ValueClass::Bytes;
  }
}

bool MakeLiteral(const Operand& target, const Token& token, Literal* out, DisplayFilterError* error) {
  const FieldInfo& f = *target.field;
  const std::string& s = token.text;
  const bool sliced = !target.slice.empty();
  auto fail = [&] {
    const std::string shown = token.kind == TokenKind::String ? std::string(token.source) : s;
    *error = {Quoted(shown) + " is not " + (sliced ? std::string("a byte string") : TypeWords(f)) + " (" +
                  std::string(f.abbrev) + (sliced ? target.sliceText : "") + ")",
              token.column};
    return false;
  };
  *out = Literal{};
  if (ClassOf(f, sliced) == ValueClass::Number) {
    if (f.type == FieldType::AbsoluteTime || f.type == FieldType::RelativeTime) {
      if (!ParseSeconds(s, &out->number)) return fail();
      out->text = SecondsText(out->number);
      return true;
    }
    if (f.type == FieldType::Boolean) {
      if (s == "True" || s == "true" || s == "TRUE") {
        out->number = 1;
      } else if (s == "False" || s == "false" || s == "FALSE") {
        out->number = 0;
      } else if (ParseInteger(s, &out->number)) {
        out->number = out->number != 0 ? 1 : 0;
      } else {
        return fail();
      }
      out->text = out->number != 0 ? "1" : "0";
      return true;
    }
    if (!ParseInteger(s, &out->number)) return fail();
    if (out->number > MaxOf(f)) {
      *error = {Quoted(s) + " is too large for " + Quoted(f.abbrev) + " (at most " + WideText(MaxOf(f)) + ")",
                token.column};
      return false;
    }
    if (out->number < MinOf(f)) {
      *error = {Quoted(s) + " is too small for " + Quoted(f.abbrev) + " (at least " + WideText(MinOf(f)) + ")",
                token.column};
      return false;
    }
    out->text = WideText(out->number);
    return true;
  }
  if (!sliced) {
    switch (f.type) {
      case FieldType::Ipv4: return ParseAddress(s, AF_INET, out) || fail();
      case FieldType::Ipv6: return ParseAddress(s, AF_INET6, out) || fail();
      case FieldType::Mac:
        if (!ParseMac(s, &out->bytes)) return fail();
        out->text = ByteStringText(AsBytes(out->bytes));
        return true;
      case FieldType::String:
        out->bytes = s;
        out->text = QuoteFilterString(s);
        return true;
      default: break;
    }
  }
  // Bytes, protocols and slices: a quoted string stands for its own bytes.
  if (token.kind == TokenKind::String) {
    out->bytes = s;
    out->text = QuoteFilterString(s);
    return true;
  }
  if (!ParseHexBytes(s, &out->bytes)) return fail();
  out->text = ByteStringText(AsBytes(out->bytes));
  return true;
}

}  // namespace qv
