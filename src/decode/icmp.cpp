#include "decode/icmp.h"

#include "decode/ipv4.h"
#include "decode/text_format.h"

namespace qv {

namespace {

// Bytes 0-7 of every message: type, code, checksum and four bytes whose
// meaning depends on the type.
constexpr std::uint32_t kHeaderLength = 8;

const char* TypeName(std::uint8_t type) {
  switch (type) {
    case 0: return "Echo reply";
    case 3: return "Destination unreachable";
    case 4: return "Source quench";
    case 5: return "Redirect";
    case 8: return "Echo request";
    case 9: return "Router advertisement";
    case 10: return "Router solicitation";
    case 11: return "Time exceeded";
    case 12: return "Parameter problem";
    case 13: return "Timestamp";
    case 14: return "Timestamp reply";
    case 17: return "Address Mask Request";
    case 18: return "Address Mask Reply";
    default: return "Unknown type";
  }
}

// Null when the code has no description for this type.
const char* CodeDescription(std::uint8_t type, std::uint8_t code) {
  switch (type) {
    case 3:
      switch (code) {
        case 0: return "Net unreachable";
        case 1: return "Host unreachable";
        case 2: return "Protocol unreachable";
        case 3: return "Port unreachable";
        case 4: return "Fragmentation needed and DF set";
        case 5: return "Source route failed";
        default: return nullptr;
      }
    case 5:
      switch (code) {
        case 0: return "Redirect datagrams for the network";
        case 1: return "Redirect datagrams for the host";
        case 2: return "Redirect datagrams for the type of service and network";
        case 3: return "Redirect datagrams for the type of service and host";
        default: return nullptr;
      }
    case 11: return code == 0 ? "Time to live exceeded in transit" : "Fragment reassemble time exceeded";
    case 12:
      switch (code) {
        case 0: return "The IP header is invalid";
        case 1: return "A required option is missing";
        default: return nullptr;
      }
    case 9:
      switch (code) {
        case 0: return "Normal router advertisement";
        case 16: return "Does not route common traffic";
        default: return nullptr;
      }
    default: return nullptr;
  }
}

bool QuotesDatagram(std::uint8_t type) { return type == 3 || type == 4 || type == 5 || type == 11 || type == 12; }

// Where the layer line ends: the fixed part of each message, or the whole
// rest of the frame for echo messages and types without a known layout.
std::uint32_t LayerEnd(const PacketDecoder& d, std::uint32_t h, std::uint8_t type) {
  switch (type) {
    case 3:
    case 4:
    case 5:
    case 10:
    case 11:
    case 12: return h + kHeaderLength;
    case 9: {
      const std::uint32_t count = d.U8(h + 4).value_or(0);
      const std::uint32_t size = d.U8(h + 5).value_or(0);
      return h + kHeaderLength + count * size * 4;
    }
    case 13:
    case 14: return h + 20;
    case 17:
    case 18: return h + 12;
    default: return d.capturedLength;
  }
}

void AddIpv4Line(PacketDecoder& d, NodeId layer, const char* label, std::uint32_t at, std::uint32_t start,
                 std::uint32_t end) {
  if (const std::uint8_t* a = d.Bytes(at, 4)) {
    d.AddLine(layer,
              Format("%s: %u.%u.%u.%u (0x %02x.%02x.%02x.%02x)", label, a[0], a[1], a[2], a[3], a[0], a[1], a[2],
                     a[3]),
              start, end);
  }
}

void AddUnused(PacketDecoder& d, NodeId layer, std::uint32_t start, std::uint32_t end) {
  if (d.Has(start, end - start)) d.AddLine(layer, "Unused", start, end);
}

void AddIdentifierAndSequence(PacketDecoder& d, NodeId layer, std::uint32_t h) {
  if (auto v = d.U16(h + 4)) d.AddLine(layer, Format("Identifier: %u (0x%04x)", *v, *v), h + 4, h + 6);
  if (auto v = d.U16(h + 6)) d.AddLine(layer, Format("Sequence number: %u (0x%04x)", *v, *v), h + 6, h + 8);
}

void AddTime(PacketDecoder& d, NodeId layer, const char* label, std::uint32_t at) {
  if (auto v = d.U32(at)) d.AddLine(layer, Format("%s: %u (0x%08x)", label, *v, *v), at, at + 4);
}

// Router advertisement: `count` entries of `size` 32-bit words, each the
// router's address followed by its preference level. The walk ends with the
// captured data, whatever the count says.
void AddRouterEntries(PacketDecoder& d, NodeId layer, std::uint32_t h, std::uint32_t count, std::uint32_t size) {
  const std::uint32_t half = size * 2;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint32_t e = h + kHeaderLength + i * size * 4;
    if (!d.Has(e, 4)) return;
    AddIpv4Line(d, layer, "IP address", e, e, e + half);
    if (!d.Has(e + half, 4)) return;
    AddIpv4Line(d, layer, "IP address", e + half, e + half, e + 2 * half);
  }
}

void DescribeMessage(PacketDecoder& d, std::uint32_t h, std::uint8_t type) {
  const NodeId layer = d.AddLayerLine("ICMP", h, LayerEnd(d, h, type));
  d.AddLine(layer, Format("Type: %u (0x%02x): %s", type, type, TypeName(type)), h, h + 1);
  if (auto code = d.U8(h + 1)) {
    std::string text = Format("Code: %u, (0x%02x)", *code, *code);
    if (const char* description = CodeDescription(type, *code)) {
      text += ": ";
      text += description;
    }
    d.AddLine(layer, std::move(text), h + 1, h + 2);
  }
  if (auto v = d.U16(h + 2)) d.AddLine(layer, Format("Checksum: %u (0x%04x)", *v, *v), h + 2, h + 4);

  switch (type) {
    case 0:
    case 8:
      AddIdentifierAndSequence(d, layer, h);
      if (h + kHeaderLength < d.capturedLength) {
        const std::uint32_t rest = d.capturedLength - h - kHeaderLength;
        d.AddLine(layer, Format("Additional data - %d bytes long", static_cast<int>(rest)), h + kHeaderLength,
                  d.capturedLength);
      }
      break;
    case 3:
    case 4:
    case 10:
    case 11: AddUnused(d, layer, h + 4, h + 8); break;
    case 5: AddIpv4Line(d, layer, "IP address", h + 4, h + 4, h + 8); break;
    case 12:
      if (auto v = d.U8(h + 4)) d.AddLine(layer, Format("Pointer: %u (%02x)", *v, *v), h + 4, h + 5);
      AddUnused(d, layer, h + 5, h + 8);
      break;
    case 9: {
      const auto count = d.U8(h + 4);
      const auto size = d.U8(h + 5);
      if (count) d.AddLine(layer, Format("Advertisement count: %u (0x%02x)", *count, *count), h + 4, h + 5);
      if (size) d.AddLine(layer, Format("Address Entry Size: %u (0x%02x)", *size, *size), h + 5, h + 6);
      if (auto v = d.U16(h + 6)) d.AddLine(layer, Format("Lifetime: %u (0x%04x)", *v, *v), h + 6, h + 8);
      if (count && size) AddRouterEntries(d, layer, h, *count, *size);
      break;
    }
    case 13:
    case 14:
      AddIdentifierAndSequence(d, layer, h);
      AddTime(d, layer, "Begining time", h + 8);
      AddTime(d, layer, "Response time", h + 12);
      AddTime(d, layer, "Transmision time", h + 16);
      break;
    case 17:
    case 18:
      AddIdentifierAndSequence(d, layer, h);
      AddIpv4Line(d, layer, "Subnetwork mask", h + 8, h + 8, h + 12);
      break;
    default: break;
  }
}

}  // namespace

void DecodeIcmp(PacketDecoder& d) {
  const std::uint32_t h = d.offset;
  d.BeginLayer(Protocol::Icmp);
  // The row and the statistics only learn that ICMP was here; the quoted
  // datagram of an error message must not count as traffic of its own.
  if (!d.IsTree()) return;

  const std::optional<std::uint8_t> type = d.U8(h);
  if (!type) {
    d.AddLayerLine("ICMP", h, h);
    return;
  }
  DescribeMessage(d, h, *type);

  if (QuotesDatagram(*type)) {
    // The IP header (and the start of its payload) of the datagram that
    // caused the error; TCP shows only its first bytes there. The flag is
    // put back as it was, so an error quoted inside an error leaves the
    // outer quote marked.
    const std::uint32_t wasQuoted = d.flags & QuotedDatagram;
    d.flags |= QuotedDatagram;
    d.Dispatch(DecodeIpv4, h + kHeaderLength);
    d.flags = (d.flags & ~QuotedDatagram) | wasQuoted;
  }
}

}  // namespace qv
