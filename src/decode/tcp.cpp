#include "decode/tcp.h"

#include "decode/dns.h"
#include "decode/http.h"
#include "decode/text_format.h"
#include "decode/tls.h"
#include "decode/udp.h"

namespace qv {

namespace {

constexpr std::uint32_t kFixedHeaderLength = 20;

constexpr FieldInfo kTcp{"tcp", "Transmission Control Protocol", FieldType::Protocol};
constexpr FieldInfo kSrcPort{"tcp.srcport", "Source Port", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kDstPort{"tcp.dstport", "Destination Port", FieldType::UInt16, FieldBase::Dec};
// The numbers as carried: no connection is followed to make them relative.
constexpr FieldInfo kSeq{"tcp.seq_raw", "Sequence Number (raw)", FieldType::UInt32, FieldBase::Dec};
constexpr FieldInfo kAck{"tcp.ack_raw", "Acknowledgment number (raw)", FieldType::UInt32, FieldBase::Dec};
// In bytes, from the data offset's count of words.
constexpr FieldInfo kHeaderLength{"tcp.hdr_len", "Header Length", FieldType::UInt8, FieldBase::Dec};
// The byte of the flags, where filters elsewhere know twelve bits from the
// data offset's byte on.
constexpr FieldInfo kFlags{"tcp.flags_byte", "Flags byte", FieldType::UInt8, FieldBase::Hex};
constexpr FieldInfo kFin{"tcp.flags.fin", "Fin", FieldType::Boolean, FieldBase::None, 0x01};
constexpr FieldInfo kSyn{"tcp.flags.syn", "Syn", FieldType::Boolean, FieldBase::None, 0x02};
constexpr FieldInfo kReset{"tcp.flags.reset", "Reset", FieldType::Boolean, FieldBase::None, 0x04};
constexpr FieldInfo kPush{"tcp.flags.push", "Push", FieldType::Boolean, FieldBase::None, 0x08};
constexpr FieldInfo kAckFlag{"tcp.flags.ack", "Acknowledgment", FieldType::Boolean, FieldBase::None, 0x10};
constexpr FieldInfo kUrg{"tcp.flags.urg", "Urgent", FieldType::Boolean, FieldBase::None, 0x20};
constexpr FieldInfo kWindow{"tcp.window_size_value", "Window", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kChecksum{"tcp.checksum", "Checksum", FieldType::UInt16, FieldBase::Hex};
constexpr FieldInfo kUrgentPointer{"tcp.urgent_pointer", "Urgent Pointer", FieldType::UInt16, FieldBase::Dec};
// The options area, and each option line as the option's bytes.
constexpr FieldInfo kOptions{"tcp.options", "TCP Options", FieldType::Bytes};
constexpr FieldInfo kNoOperation{"tcp.options.nop", "TCP Option - No-Operation (NOP)", FieldType::Bytes};
constexpr FieldInfo kMss{"tcp.options.mss", "TCP Option - Maximum segment size", FieldType::Bytes};
constexpr FieldInfo kWindowScale{"tcp.options.wscale", "TCP Option - Window scale", FieldType::Bytes};
constexpr FieldInfo kSackPermitted{"tcp.options.sack_perm", "TCP Option - SACK permitted", FieldType::Bytes};
constexpr FieldInfo kSack{"tcp.options.sack", "TCP Option - SACK", FieldType::Bytes};
constexpr FieldInfo kSackLeft{"tcp.options.sack_le", "TCP SACK Left Edge", FieldType::UInt32, FieldBase::Dec};
constexpr FieldInfo kSackRight{"tcp.options.sack_re", "TCP SACK Right Edge", FieldType::UInt32, FieldBase::Dec};
// Echo and echo reply alike, as filters know them.
constexpr FieldInfo kEcho{"tcp.options.echo", "TCP Option - Echo", FieldType::Bytes};
constexpr FieldInfo kTimestamps{"tcp.options.timestamp", "TCP Option - Timestamps", FieldType::Bytes};
// Partial order service (RFC 1693) and alternate checksums (RFC 1146).
constexpr FieldInfo kPartialOrderPermitted{"tcp.options.pocp", "TCP Option - Partial order connection permitted",
                                           FieldType::Bytes};
constexpr FieldInfo kPartialOrderProfile{"tcp.options.posp", "TCP Option - Partial order service profile",
                                         FieldType::Bytes};
constexpr FieldInfo kProfileStart{"tcp.options.posp.start", "Start flag", FieldType::Boolean, FieldBase::None, 0x80};
constexpr FieldInfo kProfileEnd{"tcp.options.posp.end", "End flag", FieldType::Boolean, FieldBase::None, 0x40};
constexpr FieldInfo kProfileFiller{"tcp.options.posp.filler", "Filler", FieldType::UInt8, FieldBase::Dec, 0x3F};
constexpr FieldInfo kAltChecksumRequest{"tcp.options.alt_checksum_req", "TCP Option - Alternate checksum request",
                                        FieldType::Bytes};
constexpr FieldInfo kAltChecksumData{"tcp.options.alt_checksum_data", "TCP Option - Alternate checksum data",
                                     FieldType::None};
constexpr FieldInfo kAltChecksumByte{"tcp.options.alt_checksum_data.byte", "Byte of data", FieldType::UInt8,
                                     FieldBase::Dec};
constexpr const FieldInfo* kFields[] = {
    &kTcp, &kSrcPort, &kDstPort, &kSeq, &kAck, &kHeaderLength, &kFlags, &kFin, &kSyn, &kReset, &kPush, &kAckFlag,
    &kUrg, &kWindow, &kChecksum, &kUrgentPointer, &kOptions, &kNoOperation, &kMss, &kWindowScale, &kSackPermitted,
    &kSack, &kSackLeft, &kSackRight, &kEcho, &kTimestamps, &kPartialOrderPermitted, &kPartialOrderProfile,
    &kProfileStart, &kProfileEnd, &kProfileFiller, &kAltChecksumRequest, &kAltChecksumData, &kAltChecksumByte};
const FieldRegistration kRegistration(kFields);

struct FlagBit {
  const FieldInfo* field;
  const char* on;
  const char* off;
  const char* name;  // appended to the "Flags" line when set
};

constexpr FlagBit kFlagBits[] = {
    {&kFin, "1-----: FIN on", "0-----: FIN off", " FIN"}, {&kSyn, "-1----: SYN on", "-0----: SYN off", " SYN"},
    {&kReset, "--1---: RST on", "--0---: RST off", " RST"}, {&kPush, "---1--: PSH on", "---0--: PSH off", " PSH"},
    {&kAckFlag, "----1-: ACK on", "----0-: ACK off", " ACK"}, {&kUrg, "-----1: URG on", "-----0: URG off", " URG"},
};

// The "Flags" line over the flags byte at `at`, one line per flag below it.
void AddFlags(PacketDecoder& d, NodeId layer, std::uint32_t at) {
  const FieldRead<std::uint32_t> flags = d.AddUint(layer, kFlags, at, "Flags");
  if (!flags) return;
  const NodeId line = flags.line;
  for (const FlagBit& bit : kFlagBits) {
    const FieldRead<std::uint32_t> set =
        d.AddUint(line, *bit.field, at, [&bit](std::uint32_t on) { return on ? bit.on : bit.off; });
    if (set && *set != 0) d.AppendText(line, bit.name);
  }
}

const char* ChecksumAlgorithmSuffix(std::uint8_t algorithm) {
  switch (algorithm) {
    case 0:
      return " - TCP checksum";
    case 1:
      return " - 8-bit  Fletcher's algorithm";
    case 2:
      return " - 16-bit  Fletcher's algorithm";
    default:
      return "";
  }
}

// The rest of the options area, for kinds not decoded here; ends the walk.
void AddUnsupportedOption(PacketDecoder& d, NodeId options, std::uint32_t at, std::uint32_t end) {
  d.AddLine(options, "Nieobłsługiwana operacja", at, end);
}

// The length byte of an option that carries its own length (SACK, alternate
// checksum data). Nothing when the byte was not captured, or when it is below
// 2 and so would never move the walk on: the rest of the options area is then
// shown as not decoded.
std::optional<std::uint32_t> OwnLength(PacketDecoder& d, NodeId options, std::uint32_t at, std::uint32_t areaEnd) {
  const auto l = d.U8(at + 1);
  if (!l) return std::nullopt;
  if (*l < 2) {
    AddUnsupportedOption(d, options, at, areaEnd);
    return std::nullopt;
  }
  return *l;
}

// One child of `options` per option from h+20 to h+hl. Options carry their
// kind's length, whatever their own length byte says; SACK and alternate
// checksum data follow their length byte. The walk stops at the end of the
// option list, at an option that is not decoded here, and where the captured
// bytes end.
void WalkOptions(PacketDecoder& d, NodeId options, std::uint32_t h, std::uint32_t hl) {
  std::uint32_t p = kFixedHeaderLength;
  while (p < hl) {
    const std::uint32_t at = h + p;
    const std::optional<std::uint8_t> kind = d.U8(at);
    if (!kind || *kind == 0) return;
    std::uint32_t length = 0;
    switch (*kind) {
      case 1:
        length = 1;
        d.AddBytes(options, kNoOperation, at, length, "No operation");
        break;
      case 2: {
        length = 4;
        const auto mss = d.U16(at + 2);
        if (!mss) return;
        d.AddBytes(options, kMss, at, length, Format("Maximum segment size: %u (0x%04x)", *mss, *mss));
        break;
      }
      case 3: {
        length = 3;
        const auto shift = d.U8(at + 2);
        if (!shift) return;
        d.AddBytes(options, kWindowScale, at, length, Format("Shift count: %d (0x%02x)", *shift, *shift));
        break;
      }
      case 4:
        length = 2;
        if (!d.Has(at, length)) return;
        d.AddBytes(options, kSackPermitted, at, length, "SACK permitted");
        break;
      case 5: {
        const auto l = OwnLength(d, options, at, h + hl);
        if (!l) return;
        length = *l;
        const NodeId sack = d.AddBytes(options, kSack, at, length, Format("SACK: %u blocks", (length - 2) / 8));
        unsigned block = 1;
        for (std::uint32_t i = 2; i < length; i += 8, ++block) {
          const auto left = d.AddUint(sack, kSackLeft, at + i, [block](std::uint32_t v) {
            return Format("LEB %u: %u (0x%08x)", block, v, v);
          });
          if (!left) break;
          const auto right = d.AddUint(sack, kSackRight, at + i + 4, [block](std::uint32_t v) {
            return Format("REB %u: %u (0x%08x)", block, v, v);
          });
          if (!right) break;
        }
        break;
      }
      case 6:
      case 7: {
        length = 6;
        const auto value = d.U32(at + 2);
        if (!value) return;
        d.AddBytes(options, kEcho, at, length,
                   Format(*kind == 6 ? "Echo option: %u (0x%08x)" : "Echo reply option: %u (0x%08x)", *value, *value));
        break;
      }
      case 8: {
        length = 10;
        const auto tsval = d.U32(at + 2);
        const auto tsecr = d.U32(at + 6);
        if (!tsval || !tsecr) return;
        d.AddBytes(options, kTimestamps, at, length,
                   Format("Timestamps option: TSval: %u (0x%08x), TSecr: %u (0x%08x)", *tsval, *tsval, *tsecr, *tsecr));
        break;
      }
      case 9:
        length = 2;
        if (!d.Has(at, length)) return;
        d.AddBytes(options, kPartialOrderPermitted, at, length, "Partial order connection permitted");
        break;
      case 10: {
        length = 3;
        if (!d.Has(at + 2, 1)) return;
        const NodeId profile = d.AddBytes(options, kPartialOrderProfile, at, length, "Partial order service profile");
        d.AddUint(profile, kProfileStart, at + 2,
                  [](std::uint32_t on) { return on ? "1--------: start flag set" : "0--------: start flag unset"; });
        d.AddUint(profile, kProfileEnd, at + 2,
                  [](std::uint32_t on) { return on ? "-1-------: end flag set" : "-0-------: end flag unset"; });
        d.AddUint(profile, kProfileFiller, at + 2, "Filler: %u (0x%x)");
        break;
      }
      case 14: {
        length = 3;
        const auto algorithm = d.U8(at + 2);
        if (!algorithm) return;
        d.AddBytes(options, kAltChecksumRequest, at, length,
                   Format("TCP alternate checksum request: %u (0x%x)%s", *algorithm, *algorithm,
                          ChecksumAlgorithmSuffix(*algorithm)));
        break;
      }
      case 15: {
        const auto l = OwnLength(d, options, at, h + hl);
        if (!l) return;
        length = *l;
        const unsigned dataBytes = length - 2;
        // The data line itself carries no range; each byte has its own line.
        const NodeId data =
            d.AddLine(options, Format("TCP alternate checksum data: %u (0x%02x) bytes of data", dataBytes, dataBytes));
        d.SetField(data, kAltChecksumData);
        for (std::uint32_t i = 2; i < length; ++i) {
          const auto byte = d.AddUint(data, kAltChecksumByte, at + i, [i](std::uint32_t v) {
            return Format("Byte %u of data: %u (0x%02x)", i - 1, v, v);
          });
          if (!byte) break;
        }
        break;
      }
      default:
        AddUnsupportedOption(d, options, at, h + hl);
        return;
    }
    p += length;
  }
}

// Segments whose payload an optional decoder takes by a well-known port,
// on either side.
struct TcpPortEntry {
  std::uint16_t port;
  OptionalDecoder optional;
  DecoderFn decoder;
};

constexpr TcpPortEntry kTcpPorts[] = {
    {53, OptionalDecoder::Dns, DecodeDnsOverTcp},
    {443, OptionalDecoder::Tls, DecodeTls},   {465, OptionalDecoder::Tls, DecodeTls},
    {853, OptionalDecoder::Tls, DecodeTls},   {993, OptionalDecoder::Tls, DecodeTls},
    {995, OptionalDecoder::Tls, DecodeTls},   {8443, OptionalDecoder::Tls, DecodeTls},
    {80, OptionalDecoder::Http, DecodeHttp},  {8080, OptionalDecoder::Http, DecodeHttp},
    {8000, OptionalDecoder::Http, DecodeHttp}, {3128, OptionalDecoder::Http, DecodeHttp},
};

// True when an optional decoder took (or a script first claimed) the payload
// after the `hl` bytes of the header at h.
bool DispatchByPort(PacketDecoder& d, std::uint32_t h, std::uint32_t hl) {
  // A bare ACK padded to Ethernet's minimum has no payload to decode.
  const std::uint32_t end = d.TransportPayloadEnd();
  if (static_cast<std::uint64_t>(h) + hl >= end) return false;
  const std::optional<std::uint16_t> src = d.U16(h);
  const std::optional<std::uint16_t> dst = d.U16(h + 2);
  for (const std::optional<std::uint16_t>& port : {dst, src}) {
    if (!port) continue;
    for (const TcpPortEntry& e : kTcpPorts) {
      if (e.port == *port && d.DispatchOptional(e.optional, e.decoder, hl, "tcp", end)) return true;
    }
  }
  // On any other port, a payload that starts like a TLS record or an HTTP
  // message is taken for one.
  const std::uint32_t at = h + hl;
  if (d.IsOn(OptionalDecoder::Tls) && LooksLikeTlsRecord(d, at)) {
    return d.DispatchOptional(OptionalDecoder::Tls, DecodeTls, hl, "tcp", end);
  }
  if (d.IsOn(OptionalDecoder::Http) && LooksLikeHttp(d, at)) {
    return d.DispatchOptional(OptionalDecoder::Http, DecodeHttp, hl, "tcp", end);
  }
  return false;
}

// The tree lines of the header at h. Returns the header length when the
// payload after it is to be offered on, nothing when the layer ends here.
std::optional<std::uint32_t> DescribeHeader(PacketDecoder& d, std::uint32_t h) {
  // The fixed header until the data offset tells the real length.
  const NodeId layer = d.AddLayerLine(kTcp, "TCP", h, h + kFixedHeaderLength);
  d.AddUint(layer, kSrcPort, h, "Source port: %u (0x%04x)");
  d.AddUint(layer, kDstPort, h + 2, "Destination port: %u (0x%04x)");
  d.AddUint(layer, kSeq, h + 4, "Sequence number: %u (0x%08x)");

  // An ICMP error quotes only the first eight bytes of the segment.
  if (d.flags & QuotedDatagram) {
    d.SetRange(layer, h, h + 8);
    return std::nullopt;
  }

  d.AddUint(layer, kAck, h + 8, "Acknowledgement number: %u (0x%08x)");
  const std::optional<std::uint8_t> offsetByte = d.U8(h + 12);
  if (!offsetByte) return std::nullopt;
  const unsigned dataOffset = *offsetByte >> 4;
  const std::uint32_t hl = dataOffset * 4;
  d.AddFieldLine(layer, kHeaderLength, Format("Offset: %u (0x%x) - %u bytes", dataOffset, dataOffset, hl), h + 12,
                 h + 13, hl);
  d.SetRange(layer, h, h + hl);

  AddFlags(d, layer, h + 13);
  d.AddUint(layer, kWindow, h + 14, "Window: %u (0x%04x)");
  // Shown as carried; never verified.
  d.AddUint(layer, kChecksum, h + 16, "Checksum: %u (0x%04x)");
  d.AddUint(layer, kUrgentPointer, h + 18, "Urgent pointer: %u (0x%04x)");

  if (hl > kFixedHeaderLength) {
    const NodeId options = d.AddBytes(layer, kOptions, h + kFixedHeaderLength, hl - kFixedHeaderLength, "Options");
    if (options != kNoNode) WalkOptions(d, options, h, hl);
  }
  return hl;
}

}  // namespace

void DecodeTcp(PacketDecoder& d) {
  const std::uint32_t h = d.offset;
  d.BeginLayer(Protocol::Tcp);
  // Summary mode takes the ports of a quoted header like any others.
  ReportTransportPorts(d, h);
  std::optional<std::uint32_t> hl;
  if (d.IsTree()) {
    hl = DescribeHeader(d, h);
  } else if (!(d.flags & QuotedDatagram)) {
    // The row learns the application protocol too: the payload's start.
    if (const auto offsetByte = d.U8(h + 12)) hl = (*offsetByte >> 4) * 4u;
  }
  if (!hl) return;
  if (*hl >= kFixedHeaderLength && DispatchByPort(d, h, *hl)) return;
  // TCP names no other inner protocol: the payload belongs to the scripts.
  d.FinishPayload(*hl, "tcp");
}

}  // namespace qv
