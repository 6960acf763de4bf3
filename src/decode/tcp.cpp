#include "decode/tcp.h"

#include "decode/text_format.h"
#include "decode/udp.h"

namespace qv {

namespace {

constexpr std::uint32_t kFixedHeaderLength = 20;

struct FlagBit {
  std::uint8_t mask;
  const char* on;
  const char* off;
  const char* name;  // appended to the "Flags" line when set
};

constexpr FlagBit kFlagBits[] = {
    {0x01, "1-----: FIN on", "0-----: FIN off", " FIN"}, {0x02, "-1----: SYN on", "-0----: SYN off", " SYN"},
    {0x04, "--1---: RST on", "--0---: RST off", " RST"}, {0x08, "---1--: PSH on", "---0--: PSH off", " PSH"},
    {0x10, "----1-: ACK on", "----0-: ACK off", " ACK"}, {0x20, "-----1: URG on", "-----0: URG off", " URG"},
};

void AddFlags(PacketDecoder& d, NodeId layer, std::uint32_t at, std::uint8_t flags) {
  const NodeId line = d.AddLine(layer, "Flags", at, at + 1);
  for (const FlagBit& bit : kFlagBits) {
    const bool set = (flags & bit.mask) != 0;
    d.AddLine(line, set ? bit.on : bit.off, at, at + 1);
    if (set) d.AppendText(line, bit.name);
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
        d.AddLine(options, "No operation", at, at + length);
        break;
      case 2: {
        length = 4;
        const auto mss = d.U16(at + 2);
        if (!mss) return;
        d.AddLine(options, Format("Maximum segment size: %u (0x%04x)", *mss, *mss), at, at + length);
        break;
      }
      case 3: {
        length = 3;
        const auto shift = d.U8(at + 2);
        if (!shift) return;
        d.AddLine(options, Format("Shift count: %d (0x%02x)", *shift, *shift), at, at + length);
        break;
      }
      case 4:
        length = 2;
        if (!d.Has(at, length)) return;
        d.AddLine(options, "SACK permitted", at, at + length);
        break;
      case 5: {
        const auto l = OwnLength(d, options, at, h + hl);
        if (!l) return;
        length = *l;
        const NodeId sack = d.AddLine(options, Format("SACK: %u blocks", (length - 2) / 8), at, at + length);
        unsigned block = 1;
        for (std::uint32_t i = 2; i < length; i += 8, ++block) {
          const auto left = d.U32(at + i);
          if (!left) break;
          d.AddLine(sack, Format("LEB %u: %u (0x%08x)", block, *left, *left), at + i, at + i + 4);
          const auto right = d.U32(at + i + 4);
          if (!right) break;
          d.AddLine(sack, Format("REB %u: %u (0x%08x)", block, *right, *right), at + i + 4, at + i + 8);
        }
        break;
      }
      case 6:
      case 7: {
        length = 6;
        const auto value = d.U32(at + 2);
        if (!value) return;
        d.AddLine(options,
                  Format(*kind == 6 ? "Echo option: %u (0x%08x)" : "Echo reply option: %u (0x%08x)", *value, *value),
                  at, at + length);
        break;
      }
      case 8: {
        length = 10;
        const auto tsval = d.U32(at + 2);
        const auto tsecr = d.U32(at + 6);
        if (!tsval || !tsecr) return;
        d.AddLine(options,
                  Format("Timestamps option: TSval: %u (0x%08x), TSecr: %u (0x%08x)", *tsval, *tsval, *tsecr, *tsecr),
                  at, at + length);
        break;
      }
      case 9:
        length = 2;
        if (!d.Has(at, length)) return;
        d.AddLine(options, "Partial order connection permitted", at, at + length);
        break;
      case 10: {
        length = 3;
        const auto b = d.U8(at + 2);
        if (!b) return;
        const NodeId profile = d.AddLine(options, "Partial order service profile", at, at + length);
        d.AddLine(profile, (*b & 0x80) ? "1--------: start flag set" : "0--------: start flag unset", at + 2, at + 3);
        d.AddLine(profile, (*b & 0x40) ? "-1-------: end flag set" : "-0-------: end flag unset", at + 2, at + 3);
        const unsigned filler = *b & 0x3Fu;
        d.AddLine(profile, Format("Filler: %d (0x%x)", filler, filler), at + 2, at + 3);
        break;
      }
      case 14: {
        length = 3;
        const auto algorithm = d.U8(at + 2);
        if (!algorithm) return;
        const NodeId line = d.AddLine(
            options, Format("TCP alternate checksum request: %u (0x%x)", *algorithm, *algorithm), at, at + length);
        d.AppendText(line, ChecksumAlgorithmSuffix(*algorithm));
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
        for (std::uint32_t i = 2; i < length; ++i) {
          const auto byte = d.U8(at + i);
          if (!byte) break;
          d.AddLine(data, Format("Byte %u of data: %u (0x%02x)", i - 1, *byte, *byte), at + i, at + i + 1);
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

// The tree lines of the header at h. Returns the header length when the
// payload after it is to be offered on, nothing when the layer ends here.
std::optional<std::uint32_t> DescribeHeader(PacketDecoder& d, std::uint32_t h) {
  // The fixed header until the data offset tells the real length.
  const NodeId layer = d.AddLayerLine("TCP", h, h + kFixedHeaderLength);
  if (const auto v = d.U16(h)) d.AddLine(layer, Format("Source port: %u (0x%04x)", *v, *v), h, h + 2);
  if (const auto v = d.U16(h + 2)) d.AddLine(layer, Format("Destination port: %u (0x%04x)", *v, *v), h + 2, h + 4);
  if (const auto v = d.U32(h + 4)) d.AddLine(layer, Format("Sequence number: %u (0x%08x)", *v, *v), h + 4, h + 8);

  // An ICMP error quotes only the first eight bytes of the segment.
  if (d.flags & QuotedDatagram) {
    d.SetRange(layer, h, h + 8);
    return std::nullopt;
  }

  if (const auto v = d.U32(h + 8)) {
    d.AddLine(layer, Format("Acknowledgement number: %u (0x%08x)", *v, *v), h + 8, h + 12);
  }
  const std::optional<std::uint8_t> offsetByte = d.U8(h + 12);
  if (!offsetByte) return std::nullopt;
  const unsigned dataOffset = *offsetByte >> 4;
  const std::uint32_t hl = dataOffset * 4;
  d.AddLine(layer, Format("Offset: %u (0x%x) - %u bytes", dataOffset, dataOffset, hl), h + 12, h + 13);
  d.SetRange(layer, h, h + hl);

  if (const auto flags = d.U8(h + 13)) AddFlags(d, layer, h + 13, *flags);
  if (const auto v = d.U16(h + 14)) d.AddLine(layer, Format("Window: %u (0x%04x)", *v, *v), h + 14, h + 16);
  // Shown as carried; never verified.
  if (const auto v = d.U16(h + 16)) d.AddLine(layer, Format("Checksum: %u (0x%04x)", *v, *v), h + 16, h + 18);
  if (const auto v = d.U16(h + 18)) {
    d.AddLine(layer, Format("Urgent pointer: %u (0x%04x)", *v, *v), h + 18, h + 20);
  }

  if (hl > kFixedHeaderLength && d.Has(h + kFixedHeaderLength, 1)) {
    const NodeId options = d.AddLine(layer, "Options", h + kFixedHeaderLength, h + hl);
    WalkOptions(d, options, h, hl);
  }
  return hl;
}

}  // namespace

void DecodeTcp(PacketDecoder& d) {
  const std::uint32_t h = d.offset;
  d.BeginLayer(Protocol::Tcp);
  // Summary mode takes the ports of a quoted header like any others.
  ReportTransportPorts(d, h);
  if (!d.IsTree()) return;
  if (const std::optional<std::uint32_t> hl = DescribeHeader(d, h)) {
    // TCP names no inner protocol: the payload belongs to the scripts.
    d.FinishPayload(*hl, "tcp");
  }
}

}  // namespace qv
