#pragma once
// Line helpers shared by the DHCP, DHCPv6 and NTP decoders: bit pictures of
// flag fields, strings whose value is not the raw bytes they cover (a name
// in wire form, a hardware address in colon notation), DNS names in wire
// form without compression, and durations in words. All of them run in tree
// mode only.

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "decode/packet_decoder.h"
#include "decode/text_format.h"

namespace qv::appfield {

// The bytes of one option: its declared length, cut at the end of what may
// be read (the captured end, or the end of the area that holds it). A field
// is read only when it lies wholly inside, so a short option never shows the
// bytes of the next one as its own.
struct Area {
  std::uint32_t start;
  std::uint32_t end;

  bool Holds(std::uint32_t at, std::uint32_t width) const {
    return at >= start && static_cast<std::uint64_t>(at) + width <= end;
  }
  std::uint32_t Size() const { return end - start; }
};

// [start, start + length) cut at `limit`; `start` itself is kept even past it.
inline Area AreaOf(std::uint32_t start, std::uint64_t length, std::uint32_t limit) {
  const std::uint64_t end = std::min<std::uint64_t>(static_cast<std::uint64_t>(start) + length, limit);
  return {start, static_cast<std::uint32_t>(std::max<std::uint64_t>(end, start))};
}

// The field's bits of its container, the others as dots: "..1. ....".
inline std::string BitPattern(const FieldInfo& f, std::uint32_t value) {
  const unsigned bits = FieldWidth(f) * 8;
  const std::uint64_t mask = f.mask != 0 ? f.mask : (std::uint64_t{1} << bits) - 1;
  unsigned shift = 0;
  while (shift < 63 && ((mask >> shift) & 1) == 0) ++shift;
  const std::uint64_t placed = static_cast<std::uint64_t>(value) << shift;
  std::string out;
  for (unsigned i = bits; i-- > 0;) {
    const std::uint64_t bit = std::uint64_t{1} << i;
    out += (mask & bit) == 0 ? '.' : (placed & bit) != 0 ? '1' : '0';
    if (i % 4 == 0 && i != 0) out += ' ';
  }
  return out;
}

// A flag: "1... .... .... .... = Broadcast flag: Broadcast".
inline FieldRead<std::uint32_t> AddFlag(PacketDecoder& d, NodeId parent, const FieldInfo& f, std::uint32_t at,
                                        const char* set, const char* clear) {
  return d.AddUint(parent, f, at, [&f, set, clear](std::uint32_t v) {
    return BitPattern(f, v) + " = " + std::string(f.name) + ": " + (v != 0 ? set : clear);
  });
}

// Bits shown as a number with an optional name: "..10 0... = Version number: 4".
template <class NameOf>
FieldRead<std::uint32_t> AddBits(PacketDecoder& d, NodeId parent, const FieldInfo& f, std::uint32_t at,
                                 NameOf&& nameOf) {
  return d.AddUint(parent, f, at, [&f, &nameOf](std::uint32_t v) {
    const char* name = nameOf(v);
    return BitPattern(f, v) + " = " + std::string(f.name) +
           (name != nullptr ? Format(": %s (%u)", name, v) : Format(": %u", v));
  });
}

inline FieldRead<std::uint32_t> AddBits(PacketDecoder& d, NodeId parent, const FieldInfo& f, std::uint32_t at) {
  return AddBits(d, parent, f, at, [](std::uint32_t) -> const char* { return nullptr; });
}

// A string or bytes field over [start, end) whose value is `value` rather
// than the bytes it covers.
inline NodeId AddComputedField(PacketDecoder& d, NodeId parent, const FieldInfo& f, std::string text,
                               std::uint32_t start, std::uint32_t end, std::string value) {
  const NodeId line = d.AddStoredField(parent, f, std::move(text), std::move(value));
  d.SetRange(line, start, end);
  return line;
}

// "Padding (1 byte)", "Data (12 bytes)".
inline std::string SizedLabel(const char* label, std::uint32_t count) {
  return Format("%s (%u byte%s)", label, count, count == 1 ? "" : "s");
}

inline std::string HexText(const std::uint8_t* bytes, std::uint32_t count) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(count * 2);
  for (std::uint32_t i = 0; i < count; ++i) {
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 0xF];
  }
  return out;
}

inline std::string ColonHex(const std::uint8_t* bytes, std::uint32_t count) {
  std::string out;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (i != 0) out += ':';
    out += HexText(bytes + i, 1);
  }
  return out;
}

// Printable ASCII as it is, anything else as \xNN; stops at the first NUL
// when `untilNul`.
inline std::string PrintableText(const std::uint8_t* bytes, std::uint32_t count, bool untilNul) {
  std::string out;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint8_t c = bytes[i];
    if (c == 0 && untilNul) break;
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out += static_cast<char>(c);
    } else {
      out += Format("\\x%02x", c);
    }
  }
  return out;
}

// Bytes up to the first NUL (or all of them).
inline std::uint32_t LengthUntilNul(const std::uint8_t* bytes, std::uint32_t count) {
  std::uint32_t n = 0;
  while (n < count && bytes[n] != 0) ++n;
  return n;
}

// A DNS name in wire form from `start`, read within [start, end): labels
// joined by dots. Compression pointers are not followed (the options that
// carry names here forbid them); one ends the name as malformed.
struct WireName {
  std::string text;        // "host.example.com"; empty for the root
  std::uint32_t next = 0;  // first byte after the name (or `end`)
  bool complete = false;   // ended with the root label inside the area
};

inline WireName ReadWireName(const PacketDecoder& d, std::uint32_t start, std::uint32_t end) {
  WireName name;
  std::uint32_t p = start;
  while (p < end) {
    const std::uint8_t length = d.frame[p];
    if (length == 0) {
      name.next = p + 1;
      name.complete = true;
      return name;
    }
    if (length >= 0x40 || static_cast<std::uint64_t>(p) + 1 + length > end) break;
    if (!name.text.empty()) name.text += '.';
    name.text += PrintableText(d.frame + p + 1, length, false);
    p += 1 + length;
  }
  name.next = end;
  return name;
}

// "(43187s) 11 hours, 59 minutes, 47 seconds"; "(4294967295s) infinity".
inline std::string DurationText(std::uint32_t seconds) {
  std::string out = Format("(%us) ", seconds);
  if (seconds == 0xFFFFFFFFu) return out + "infinity";
  if (seconds == 0) return out + "0 seconds";
  const std::uint32_t parts[] = {seconds / 86400, seconds / 3600 % 24, seconds / 60 % 60, seconds % 60};
  const char* const units[] = {"day", "hour", "minute", "second"};
  bool first = true;
  for (int i = 0; i < 4; ++i) {
    if (parts[i] == 0) continue;
    if (!first) out += ", ";
    out += Format("%u %s%s", parts[i], units[i], parts[i] == 1 ? "" : "s");
    first = false;
  }
  return out;
}

}  // namespace qv::appfield
