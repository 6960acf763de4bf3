#include "decode/ipv4.h"

#include <algorithm>

#include "decode/gre.h"
#include "decode/icmp.h"
#include "decode/igmp.h"
#include "decode/ipv6.h"
#include "decode/tcp.h"
#include "decode/text_format.h"
#include "decode/udp.h"

namespace qv {

namespace {

// The fixed part of the header, before any option.
constexpr std::uint32_t kFixedHeaderLength = 20;

constexpr std::uint8_t kOptionEnd = 0;
constexpr std::uint8_t kOptionNoOperation = 1;
constexpr std::uint8_t kOptionTimestamp = 68;
constexpr std::uint8_t kOptionSecurity = 130;
// The security option is always read as 11 bytes, whatever its length byte says.
constexpr std::uint32_t kSecurityLength = 11;

const char* const kUnknownOption = "Nieobłsługiwana operacja";

struct IpProtocolEntry {
  std::uint8_t number;
  const char* suffix;
  DecoderFn decoder;  // null: named but not decoded
  // The optional decoder that knows this protocol; Count_ for the classic ones.
  OptionalDecoder optional = OptionalDecoder::Count_;
};

constexpr IpProtocolEntry kIpProtocols[] = {
    {0, " [Reserved]", nullptr}, {1, " [ICMP]", DecodeIcmp}, {2, " [IGMP]", DecodeIgmp},
    {4, " [IPv4]", DecodeIpv4},  {6, " [TCP]", DecodeTcp},   {17, " [UDP]", DecodeUdp},
    // 6in4 tunnels and GRE, when their decoders are on.
    {41, " [IPv6]", DecodeIpv6, OptionalDecoder::Ipv6},
    {47, " [GRE]", DecodeGre, OptionalDecoder::Gre},
};

// Null for a protocol without an entry, and for one whose decoder is off.
const IpProtocolEntry* FindIpProtocol(std::uint8_t number, const PacketDecoder& d) {
  for (const auto& e : kIpProtocols) {
    if (e.number != number) continue;
    if (e.optional != OptionalDecoder::Count_ && !d.IsOn(e.optional)) return nullptr;
    return &e;
  }
  return nullptr;
}

// Type of Service: the precedence in the top three bits.
const char* const kPrecedence[8] = {
    "000----0: Routine",
    "001----0: Priority",
    "010----0: Immediate",
    "011----0: Flash",
    "100----0: Flash override",
    "101----0: Critical",
    "110----0: Internetwork control",
    "111----0: Network control",
};

struct SecurityLevel {
  std::uint16_t value;
  const char* name;
};

// The security levels of the basic security option (RFC 791).
constexpr SecurityLevel kSecurityLevels[] = {
    {0x0000, "Unclassified"}, {0xF135, "Confidential"}, {0x789A, "EFTO"},   {0xBC4D, "MMMM"},
    {0x5E26, "PROG"},         {0xAF13, "Restricted"},   {0xD788, "Secret"}, {0x6BC5, "Top Secret"},
};

const char* SecurityLevelName(std::uint16_t value) {
  for (const auto& level : kSecurityLevels) {
    if (level.value == value) return level.name;
  }
  return "(Reserved for future use)";
}

std::string AddressLine(const char* label, const std::uint8_t* a) {
  return Format("%s: %u.%u.%u.%u (0x %02x.%02x.%02x.%02x)", label, a[0], a[1], a[2], a[3], a[0], a[1], a[2], a[3]);
}

void AddTypeOfService(PacketDecoder& d, NodeId layer, std::uint32_t h) {
  const std::optional<std::uint8_t> tos = d.U8(h + 1);
  if (!tos) return;
  const std::uint8_t t = *tos;
  const NodeId line = d.AddLine(layer, "Type of Service", h + 1, h + 2);
  d.AddLine(line, kPrecedence[t >> 5], h + 1, h + 2);
  d.AddLine(line, (t & 0x10) ? "---1---0: Minimize delay" : "---0---0: Normal delay", h + 1, h + 2);
  d.AddLine(line, (t & 0x08) ? "----1--0: Miximize throughput" : "----0--0: Normal throughput", h + 1, h + 2);
  d.AddLine(line, (t & 0x04) ? "-----1-0: Maximize reliability" : "-----0-0: Normal reliability", h + 1, h + 2);
  d.AddLine(line, (t & 0x02) ? "------10: Minimize monetary cost" : "------00: Minimize monetary cost", h + 1, h + 2);
}

// The entries of a timestamp option at `at` with length `length`; each entry
// needs all of its bytes captured, and the first one missing ends the list.
void AddTimestampEntries(PacketDecoder& d, NodeId option, std::uint32_t at, std::uint32_t length, std::uint8_t flag) {
  if (flag == 0) {
    // Timestamps only, four bytes each.
    for (std::uint32_t i = 4; i < length; i += 4) {
      const std::optional<std::uint32_t> ts = d.U32(at + i);
      if (!ts) return;
      d.AddLine(option, Format("Timestamp %u: %u (0x%08x)", i / 4, *ts, *ts), at + i, at + i + 4);
    }
    return;
  }
  if (flag != 1 && flag != 3) return;
  // An address followed by its timestamp, eight bytes each.
  const char* format = flag == 1 ? "Timestamp %u: %u (0x%08x), IP: %u.%u.%u.%u"
                                 : "Timestamp %u: %u (0x%08x), prespecified IP: %u.%u.%u.%u";
  for (std::uint32_t i = 4; i < length; i += 8) {
    const std::uint8_t* address = d.Bytes(at + i, 4);
    const std::optional<std::uint32_t> ts = d.U32(at + i + 4);
    if (address == nullptr || !ts) return;
    d.AddLine(option, Format(format, (i + 4) / 8, *ts, *ts, address[0], address[1], address[2], address[3]), at + i,
              at + i + 8);
  }
}

void AddSecurity(PacketDecoder& d, NodeId options, std::uint32_t at) {
  const NodeId line = d.AddLine(options, "Security", at, at + kSecurityLength);
  if (const auto level = d.U16(at + 2)) {
    d.AddLine(line, std::string("Security: ") + SecurityLevelName(*level), at + 2, at + 4);
  }
  if (const auto compartments = d.U16(at + 4)) {
    d.AddLine(line, Format("Compartments: %u (0x%04x)", *compartments, *compartments), at + 4, at + 6);
  }
  if (const auto handling = d.U16(at + 6)) {
    d.AddLine(line, Format("Handling Restrictions: %u (0x%04x)", *handling, *handling), at + 6, at + 8);
  }
  if (const auto tcc = d.U24(at + 8)) {
    d.AddLine(line, Format("Transmission Control Code: %u (0x%04x)", *tcc, *tcc), at + 8, at + 11);
  }
}

// The "Opcje" line and one child per option, for the options area h+20 to
// h+hl. The walk ends at the end-of-list option, at the end of the area, and
// at the end of the captured data, whichever comes first.
void AddOptions(PacketDecoder& d, NodeId layer, std::uint32_t h, std::uint32_t hl) {
  if (!d.Has(h + kFixedHeaderLength, 1)) return;
  const NodeId options = d.AddLine(layer, "Opcje", h + kFixedHeaderLength, h + hl);
  std::uint32_t p = kFixedHeaderLength;
  while (p < hl) {
    const std::optional<std::uint8_t> kind = d.U8(h + p);
    if (!kind || *kind == kOptionEnd) return;
    if (*kind == kOptionNoOperation) {
      d.AddLine(options, "No operation", h + p, h + p + 1);
      p += 1;
      continue;
    }
    if (*kind == kOptionSecurity) {
      AddSecurity(d, options, h + p);
      p += kSecurityLength;
      continue;
    }
    if (*kind == kOptionTimestamp) {
      const std::optional<std::uint8_t> length = d.U8(h + p + 1);
      if (!length) return;
      // A length below 2 cannot cover the option's own kind and length bytes
      // and would never advance the walk: such an option is not decoded.
      if (*length >= 2) {
        const std::uint32_t at = h + p;
        const NodeId line = d.AddLine(options, "Timestamp", at, at + *length);
        if (const auto pointer = d.U8(at + 2)) {
          d.AddLine(line, Format("Pointer: %u (0x%02x)", *pointer, *pointer), at + 2, at + 3);
        }
        if (const auto b = d.U8(at + 3)) {
          const unsigned overflow = *b >> 4;
          const unsigned flag = *b & 0x0F;
          d.AddLine(line, Format("Overflow: %u (0x%x)", overflow, overflow), at + 3, at + 4);
          d.AddLine(line, Format("Flag: %u (0x%x)", flag, flag), at + 3, at + 4);
          AddTimestampEntries(d, line, at, *length, static_cast<std::uint8_t>(flag));
        }
        p += *length;
        continue;
      }
    }
    // Anything else covers the rest of the options area and ends the walk.
    d.AddLine(options, kUnknownOption, h + p, h + hl);
    return;
  }
}

}  // namespace

void DecodeIpv4(PacketDecoder& d) {
  const std::uint32_t h = d.offset;
  d.BeginLayer(Protocol::Ipv4);

  const std::optional<std::uint8_t> versionAndIhl = d.U8(h);
  const std::uint32_t hl = versionAndIhl ? (*versionAndIhl & 0x0Fu) * 4 : 0;
  // A header length below the fixed 20 bytes is malformed: the fixed fields
  // are still shown, but nothing after them is taken for a payload (protocol 4
  // with IHL 0 would otherwise decode the same header again and again).
  const bool malformed = hl < kFixedHeaderLength;
  const std::uint32_t extent = malformed ? kFixedHeaderLength : hl;
  const std::uint8_t* src = d.Bytes(h + 12, 4);
  const std::uint8_t* dst = d.Bytes(h + 16, 4);

  if (PacketSummary* row = d.summary) {
    // Each IPv4 header (IP in IP: the inner one last) writes both fields, so
    // a row never mixes the addresses of two headers.
    row->ipv6 = false;
    row->hasSrcIp = src != nullptr;
    if (src != nullptr) std::copy(src, src + 4, row->srcIp.begin());
    row->hasDstIp = dst != nullptr;
    if (dst != nullptr) std::copy(dst, dst + 4, row->dstIp.begin());
  }
  if (d.IsSummary()) {
    const std::optional<std::uint16_t> totalLength = d.U16(h + 2);
    if (src != nullptr && dst != nullptr && totalLength) {
      IpConversationSample& s = d.sample.emplace();  // ipv6 stays false
      std::copy(src, src + 4, s.source.begin());
      std::copy(dst, dst + 4, s.destination.begin());
      s.totalLength = *totalLength;
    } else {
      d.sample.reset();
    }
  }

  NodeId layer = kNoNode;
  if (d.IsTree()) {
    layer = d.AddLayerLine("IPv4", h, h + extent);
    if (versionAndIhl) {
      const unsigned version = *versionAndIhl >> 4;
      d.AddLine(layer, Format("Version: %u (0x%x)", version, version), h, h + 1);
      d.AddLine(layer, Format("Header size: %u bytes", hl), h, h + 1);
    }
    AddTypeOfService(d, layer, h);
    if (const auto total = d.U16(h + 2)) {
      d.AddLine(layer, Format("Total Length: %u (0x%04x) bytes", *total, *total), h + 2, h + 4);
    }
    if (const auto id = d.U16(h + 4)) {
      d.AddLine(layer, Format("Identification: %u (0x%04x)", *id, *id), h + 4, h + 6);
    }
    if (const auto flags = d.U8(h + 6)) {
      const NodeId line = d.AddLine(layer, "Flags", h + 6, h + 7);
      d.AddLine(line, (*flags & 0x40) ? "01-: Don't fragment" : "00-: May fragment", h + 6, h + 7);
      d.AddLine(line, (*flags & 0x20) ? "0-1: More fragments" : "0-0: Last fragment", h + 6, h + 7);
    }
    if (const auto fragment = d.U16(h + 6)) {
      const unsigned bytes = (*fragment & 0x1FFFu) * 8;
      d.AddLine(layer, Format("Fragment offset: %u (0x%04x) bytes", bytes, bytes), h + 6, h + 8);
    }
    if (const auto ttl = d.U8(h + 8)) {
      d.AddLine(layer, Format("Time to live: %u (0x%02x)", *ttl, *ttl), h + 8, h + 9);
    }
  }

  // Every fragment, first or not, goes to the decoder of its protocol.
  const std::optional<std::uint8_t> protocol = d.U8(h + 9);
  const IpProtocolEntry* entry = protocol ? FindIpProtocol(*protocol, d) : nullptr;
  if (!malformed && entry != nullptr && entry->decoder != nullptr) {
    if (entry->optional == OptionalDecoder::Count_) {
      d.Dispatch(entry->decoder, h + hl);
    } else {
      d.DispatchOptional(entry->optional, entry->decoder, hl, "ipv4");
    }
  }

  if (d.IsTree()) {
    if (protocol) {
      const NodeId line = d.AddLine(layer, Format("Protocol: %u (0x%02x)", *protocol, *protocol), h + 9, h + 10);
      if (entry != nullptr) d.AppendText(line, entry->suffix);
    }
    // Shown as carried; not verified.
    if (const auto checksum = d.U16(h + 10)) {
      d.AddLine(layer, Format("Header checksum: %u (0x%04x)", *checksum, *checksum), h + 10, h + 12);
    }
    if (src != nullptr) d.AddLine(layer, AddressLine("Source address", src), h + 12, h + 16);
    if (dst != nullptr) d.AddLine(layer, AddressLine("Destination address", dst), h + 16, h + 20);
    if (hl > kFixedHeaderLength) AddOptions(d, layer, h, hl);
  }

  d.FinishLayer(layer, extent, "ipv4");
}

}  // namespace qv
