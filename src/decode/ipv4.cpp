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

constexpr FieldInfo kIp{"ip", "Internet Protocol Version 4", FieldType::Protocol};
// Both computed from their half of the first byte; the header length in bytes.
constexpr FieldInfo kVersion{"ip.version", "Version", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kHeaderLength{"ip.hdr_len", "Header Length", FieldType::UInt8, FieldBase::Dec};
// The second byte, read as the Type of Service of RFC 791.
constexpr FieldInfo kDsfield{"ip.dsfield", "Differentiated Services Field", FieldType::UInt8, FieldBase::Hex};
constexpr FieldInfo kTosPrecedence{"ip.tos.precedence", "Precedence", FieldType::UInt8, FieldBase::Dec, 0xE0};
constexpr FieldInfo kDelay{"ip.tos.delay", "Delay", FieldType::Boolean, FieldBase::None, 0x10};
constexpr FieldInfo kThroughput{"ip.tos.throughput", "Throughput", FieldType::Boolean, FieldBase::None, 0x08};
constexpr FieldInfo kReliability{"ip.tos.reliability", "Reliability", FieldType::Boolean, FieldBase::None, 0x04};
constexpr FieldInfo kCost{"ip.tos.cost", "Cost", FieldType::Boolean, FieldBase::None, 0x02};
constexpr FieldInfo kTotalLength{"ip.len", "Total Length", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kId{"ip.id", "Identification", FieldType::UInt16, FieldBase::Hex};
constexpr FieldInfo kFlags{"ip.flags", "Flags", FieldType::UInt8, FieldBase::Hex, 0xE0};
constexpr FieldInfo kDontFragment{"ip.flags.df", "Don't fragment", FieldType::Boolean, FieldBase::None, 0x40};
constexpr FieldInfo kMoreFragments{"ip.flags.mf", "More fragments", FieldType::Boolean, FieldBase::None, 0x20};
// In units of eight bytes; the line shows it in bytes.
constexpr FieldInfo kFragmentOffset{"ip.frag_offset", "Fragment Offset", FieldType::UInt16, FieldBase::Dec, 0x1FFF};
constexpr FieldInfo kTtl{"ip.ttl", "Time to Live", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kProtocol{"ip.proto", "Protocol", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kChecksum{"ip.checksum", "Header Checksum", FieldType::UInt16, FieldBase::Hex};
constexpr FieldInfo kSrc{"ip.src", "Source Address", FieldType::Ipv4};
constexpr FieldInfo kDst{"ip.dst", "Destination Address", FieldType::Ipv4};
// The options area, and each option as its bytes.
constexpr FieldInfo kOptions{"ip.options", "Options", FieldType::Bytes};
constexpr FieldInfo kNoOperation{"ip.options.nop", "IP Option - No-Operation (NOP)", FieldType::Bytes};
constexpr FieldInfo kSecurity{"ip.options.security", "IP Option - Security", FieldType::Bytes};
constexpr FieldInfo kSecurityLevel{"ip.opt.sec_rfc791_sec", "Security", FieldType::UInt16, FieldBase::Hex};
constexpr FieldInfo kCompartments{"ip.opt.sec_rfc791_comp", "Compartments", FieldType::UInt16, FieldBase::Dec};
// Shown as numbers, where filters elsewhere know them as text.
constexpr FieldInfo kHandling{"ip.opt.sec_handling", "Handling Restrictions", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kTcc{"ip.opt.sec_tcc", "Transmission Control Code", FieldType::UInt24, FieldBase::Dec};
constexpr FieldInfo kTimestamp{"ip.options.timestamp", "IP Option - Time Stamp", FieldType::Bytes};
constexpr FieldInfo kPointer{"ip.opt.ptr", "Pointer", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kOverflow{"ip.opt.overflow", "Overflow", FieldType::UInt8, FieldBase::Dec, 0xF0};
constexpr FieldInfo kTimestampFlag{"ip.opt.flag", "Flag", FieldType::UInt8, FieldBase::Hex, 0x0F};
constexpr FieldInfo kTimestampValue{"ip.opt.time_stamp", "Time stamp", FieldType::UInt32, FieldBase::Dec};
constexpr const FieldInfo* kFields[] = {
    &kIp, &kVersion, &kHeaderLength, &kDsfield, &kTosPrecedence, &kDelay, &kThroughput, &kReliability, &kCost,
    &kTotalLength, &kId, &kFlags, &kDontFragment, &kMoreFragments, &kFragmentOffset, &kTtl, &kProtocol, &kChecksum,
    &kSrc, &kDst, &kOptions, &kNoOperation, &kSecurity, &kSecurityLevel, &kCompartments, &kHandling, &kTcc,
    &kTimestamp, &kPointer, &kOverflow, &kTimestampFlag, &kTimestampValue};
const FieldRegistration kRegistration(kFields);

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
  const FieldRead<std::uint32_t> tos = d.AddUint(layer, kDsfield, h + 1, "Type of Service");
  if (!tos) return;
  const NodeId line = tos.line;
  const std::uint32_t at = h + 1;
  d.AddUint(line, kTosPrecedence, at, [](std::uint32_t precedence) { return kPrecedence[precedence]; });
  d.AddUint(line, kDelay, at,
            [](std::uint32_t on) { return on ? "---1---0: Minimize delay" : "---0---0: Normal delay"; });
  d.AddUint(line, kThroughput, at, [](std::uint32_t on) {
    return on ? "----1--0: Miximize throughput" : "----0--0: Normal throughput";
  });
  d.AddUint(line, kReliability, at, [](std::uint32_t on) {
    return on ? "-----1-0: Maximize reliability" : "-----0-0: Normal reliability";
  });
  d.AddUint(line, kCost, at, [](std::uint32_t on) {
    return on ? "------10: Minimize monetary cost" : "------00: Minimize monetary cost";
  });
}

// The entries of a timestamp option at `at` with length `length`; each entry
// needs all of its bytes captured, and the first one missing ends the list.
void AddTimestampEntries(PacketDecoder& d, NodeId option, std::uint32_t at, std::uint32_t length, std::uint8_t flag) {
  if (flag == 0) {
    // Timestamps only, four bytes each.
    for (std::uint32_t i = 4; i < length; i += 4) {
      const FieldRead<std::uint32_t> ts = d.AddUint(option, kTimestampValue, at + i, [i](std::uint32_t v) {
        return Format("Timestamp %u: %u (0x%08x)", i / 4, v, v);
      });
      if (!ts) return;
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
  const NodeId line = d.AddBytes(options, kSecurity, at, kSecurityLength, "Security");
  d.AddUint(line, kSecurityLevel, at + 2, [](std::uint32_t level) {
    return std::string("Security: ") + SecurityLevelName(static_cast<std::uint16_t>(level));
  });
  d.AddUint(line, kCompartments, at + 4, "Compartments: %u (0x%04x)");
  d.AddUint(line, kHandling, at + 6, "Handling Restrictions: %u (0x%04x)");
  d.AddUint(line, kTcc, at + 8, "Transmission Control Code: %u (0x%04x)");
}

// The "Opcje" line and one child per option, for the options area h+20 to
// h+hl. The walk ends at the end-of-list option, at the end of the area, and
// at the end of the captured data, whichever comes first.
void AddOptions(PacketDecoder& d, NodeId layer, std::uint32_t h, std::uint32_t hl) {
  const NodeId options = d.AddBytes(layer, kOptions, h + kFixedHeaderLength, hl - kFixedHeaderLength, "Opcje");
  if (options == kNoNode) return;
  std::uint32_t p = kFixedHeaderLength;
  while (p < hl) {
    const std::optional<std::uint8_t> kind = d.U8(h + p);
    if (!kind || *kind == kOptionEnd) return;
    if (*kind == kOptionNoOperation) {
      d.AddBytes(options, kNoOperation, h + p, 1, "No operation");
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
        const NodeId line = d.AddBytes(options, kTimestamp, at, *length, "Timestamp");
        d.AddUint(line, kPointer, at + 2, "Pointer: %u (0x%02x)");
        d.AddUint(line, kOverflow, at + 3, "Overflow: %u (0x%x)");
        if (const auto flag = d.AddUint(line, kTimestampFlag, at + 3, "Flag: %u (0x%x)")) {
          AddTimestampEntries(d, line, at, *length, static_cast<std::uint8_t>(*flag));
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
  d.ipSource = src;
  d.ipDestination = dst;
  d.ipIsV6 = false;
  const std::optional<std::uint16_t> datagramLength = d.U16(h + 2);
  d.ipDatagramEnd = datagramLength && *datagramLength >= extent ? h + *datagramLength : 0;
  if (d.IsSummary()) {
    const std::optional<std::uint16_t> totalLength = d.U16(h + 2);
    if (src != nullptr && dst != nullptr && totalLength) {
      IpConversationSample& s = d.sample.emplace();
      std::copy(src, src + 4, s.source.begin());
      std::copy(dst, dst + 4, s.destination.begin());
      s.totalLength = *totalLength;
    } else {
      d.sample.reset();
    }
  }

  NodeId layer = kNoNode;
  if (d.IsTree()) {
    layer = d.AddLayerLine(kIp, "IPv4", h, h + extent);
    if (versionAndIhl) {
      const unsigned version = *versionAndIhl >> 4;
      d.AddFieldLine(layer, kVersion, Format("Version: %u (0x%x)", version, version), h, h + 1, version);
      d.AddFieldLine(layer, kHeaderLength, Format("Header size: %u bytes", hl), h, h + 1, hl);
    }
    AddTypeOfService(d, layer, h);
    d.AddUint(layer, kTotalLength, h + 2, "Total Length: %u (0x%04x) bytes");
    d.AddUint(layer, kId, h + 4, "Identification: %u (0x%04x)");
    if (const auto flags = d.AddUint(layer, kFlags, h + 6, "Flags")) {
      d.AddUint(flags.line, kDontFragment, h + 6,
                [](std::uint32_t on) { return on ? "01-: Don't fragment" : "00-: May fragment"; });
      d.AddUint(flags.line, kMoreFragments, h + 6,
                [](std::uint32_t on) { return on ? "0-1: More fragments" : "0-0: Last fragment"; });
    }
    d.AddUint(layer, kFragmentOffset, h + 6, [](std::uint32_t units) {
      const unsigned bytes = units * 8;
      return Format("Fragment offset: %u (0x%04x) bytes", bytes, bytes);
    });
    d.AddUint(layer, kTtl, h + 8, "Time to live: %u (0x%02x)");
  }

  // Read in both modes: the payload is dispatched by it.
  const FieldRead<std::uint32_t> protocol = d.AddUint(layer, kProtocol, h + 9, [&d](std::uint32_t number) {
    std::string text = Format("Protocol: %u (0x%02x)", number, number);
    if (const IpProtocolEntry* e = FindIpProtocol(static_cast<std::uint8_t>(number), d)) text += e->suffix;
    return text;
  });

  if (d.IsTree()) {
    // Shown as carried; not verified.
    d.AddUint(layer, kChecksum, h + 10, "Header checksum: %u (0x%04x)");
    if (src != nullptr) d.AddAddress(layer, kSrc, h + 12, AddressLine("Source address", src));
    if (dst != nullptr) d.AddAddress(layer, kDst, h + 16, AddressLine("Destination address", dst));
    if (hl > kFixedHeaderLength) AddOptions(d, layer, h, hl);
  }

  // Every fragment, first or not, goes to the decoder of its protocol. The
  // header's lines are all in place before the payload's layers follow.
  const IpProtocolEntry* entry = protocol ? FindIpProtocol(static_cast<std::uint8_t>(*protocol), d) : nullptr;
  if (!malformed && entry != nullptr && entry->decoder != nullptr) {
    if (entry->optional == OptionalDecoder::Count_) {
      d.Dispatch(entry->decoder, h + hl);
    } else {
      d.DispatchOptional(entry->optional, entry->decoder, hl, "ipv4");
    }
  }

  d.FinishLayer(layer, extent, "ipv4");
}

}  // namespace qv
