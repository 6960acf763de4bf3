#include "decode/icmp.h"

#include "decode/ipv4.h"
#include "decode/text_format.h"

namespace qv {

namespace {

// Bytes 0-7 of every message: type, code, checksum and four bytes whose
// meaning depends on the type.
constexpr std::uint32_t kHeaderLength = 8;

constexpr FieldInfo kIcmp{"icmp", "Internet Control Message Protocol", FieldType::Protocol};
constexpr FieldInfo kType{"icmp.type", "Type", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kCode{"icmp.code", "Code", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kChecksum{"icmp.checksum", "Checksum", FieldType::UInt16, FieldBase::Hex};
constexpr FieldInfo kIdentifier{"icmp.ident", "Identifier (BE)", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kSequence{"icmp.seq", "Sequence Number (BE)", FieldType::UInt16, FieldBase::Dec};
// What follows an echo message's header.
constexpr FieldInfo kData{"icmp.data", "Data", FieldType::Bytes};
constexpr FieldInfo kUnused{"icmp.unused", "Unused", FieldType::Bytes};
constexpr FieldInfo kGateway{"icmp.redir_gw", "Gateway Address", FieldType::Ipv4};
// The offset of the octet in error: one byte, where filters elsewhere know a
// 32-bit icmp.pointer.
constexpr FieldInfo kPointer{"icmp.ptr", "Pointer", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kAddressCount{"icmp.num_addrs", "Number of addresses", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kEntrySize{"icmp.addr_entry_size", "Address entry size", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kLifetime{"icmp.lifetime", "Lifetime", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kRouterAddress{"icmp.router_address", "Router address", FieldType::Ipv4};
constexpr FieldInfo kPreference{"icmp.pref_level", "Preference level", FieldType::Int32, FieldBase::Dec};
constexpr FieldInfo kOriginate{"icmp.originate_timestamp", "Originate Timestamp", FieldType::UInt32, FieldBase::Dec};
constexpr FieldInfo kReceive{"icmp.receive_timestamp", "Receive Timestamp", FieldType::UInt32, FieldBase::Dec};
constexpr FieldInfo kTransmit{"icmp.transmit_timestamp", "Transmit Timestamp", FieldType::UInt32, FieldBase::Dec};
constexpr FieldInfo kAddressMask{"icmp.address_mask", "Address Mask", FieldType::Ipv4};
constexpr const FieldInfo* kFields[] = {
    &kIcmp, &kType, &kCode, &kChecksum, &kIdentifier, &kSequence, &kData, &kUnused, &kGateway, &kPointer,
    &kAddressCount, &kEntrySize, &kLifetime, &kRouterAddress, &kPreference, &kOriginate, &kReceive, &kTransmit,
    &kAddressMask};
const FieldRegistration kRegistration(kFields);

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

std::string Ipv4Text(const char* label, const std::uint8_t* a) {
  return Format("%s: %u.%u.%u.%u (0x %02x.%02x.%02x.%02x)", label, a[0], a[1], a[2], a[3], a[0], a[1], a[2], a[3]);
}

// An address line from `at` to `end`. A router advertisement's entries may be
// narrower or wider than the address; such a line shows no field.
void AddIpv4Line(PacketDecoder& d, NodeId layer, const FieldInfo& f, const char* label, std::uint32_t at,
                 std::uint32_t end) {
  const std::uint8_t* a = d.Bytes(at, 4);
  if (a == nullptr) return;
  const NodeId line = d.AddLine(layer, Ipv4Text(label, a), at, end);
  if (end - at == FieldWidth(f)) d.SetField(line, f);
}

void AddUnused(PacketDecoder& d, NodeId layer, std::uint32_t start, std::uint32_t end) {
  if (d.Has(start, end - start)) d.AddBytes(layer, kUnused, start, end - start, "Unused");
}

void AddIdentifierAndSequence(PacketDecoder& d, NodeId layer, std::uint32_t h) {
  d.AddUint(layer, kIdentifier, h + 4, "Identifier: %u (0x%04x)");
  d.AddUint(layer, kSequence, h + 6, "Sequence number: %u (0x%04x)");
}

void AddTime(PacketDecoder& d, NodeId layer, const FieldInfo& f, const char* label, std::uint32_t at) {
  d.AddUint(layer, f, at, [label](std::uint32_t v) { return Format("%s: %u (0x%08x)", label, v, v); });
}

// Router advertisement: `count` entries of `size` 32-bit words, each the
// router's address followed by its preference level (shown as an address
// too). The walk ends with the captured data, whatever the count says.
void AddRouterEntries(PacketDecoder& d, NodeId layer, std::uint32_t h, std::uint32_t count, std::uint32_t size) {
  const std::uint32_t half = size * 2;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint32_t e = h + kHeaderLength + i * size * 4;
    if (!d.Has(e, 4)) return;
    AddIpv4Line(d, layer, kRouterAddress, "IP address", e, e + half);
    const std::uint32_t p = e + half;
    const std::optional<std::uint32_t> preference = d.U32(p);
    if (!preference) return;
    const NodeId line = d.AddLine(layer, Ipv4Text("IP address", d.Bytes(p, 4)), p, p + half);
    if (half == FieldWidth(kPreference)) d.SetField(line, kPreference, *preference);
  }
}

void DescribeMessage(PacketDecoder& d, std::uint32_t h, std::uint8_t type) {
  const NodeId layer = d.AddLayerLine(kIcmp, "ICMP", h, LayerEnd(d, h, type));
  d.AddUint(layer, kType, h, [](std::uint32_t t) {
    return Format("Type: %u (0x%02x): %s", t, t, TypeName(static_cast<std::uint8_t>(t)));
  });
  d.AddUint(layer, kCode, h + 1, [type](std::uint32_t code) {
    std::string text = Format("Code: %u, (0x%02x)", code, code);
    if (const char* description = CodeDescription(type, static_cast<std::uint8_t>(code))) {
      text += ": ";
      text += description;
    }
    return text;
  });
  d.AddUint(layer, kChecksum, h + 2, "Checksum: %u (0x%04x)");

  switch (type) {
    case 0:
    case 8:
      AddIdentifierAndSequence(d, layer, h);
      if (h + kHeaderLength < d.capturedLength) {
        const std::uint32_t rest = d.capturedLength - h - kHeaderLength;
        d.AddBytes(layer, kData, h + kHeaderLength, rest,
                   Format("Additional data - %d bytes long", static_cast<int>(rest)));
      }
      break;
    case 3:
    case 4:
    case 10:
    case 11: AddUnused(d, layer, h + 4, h + 8); break;
    case 5: AddIpv4Line(d, layer, kGateway, "IP address", h + 4, h + 8); break;
    case 12:
      d.AddUint(layer, kPointer, h + 4, "Pointer: %u (%02x)");
      AddUnused(d, layer, h + 5, h + 8);
      break;
    case 9: {
      const auto count = d.AddUint(layer, kAddressCount, h + 4, "Advertisement count: %u (0x%02x)");
      const auto size = d.AddUint(layer, kEntrySize, h + 5, "Address Entry Size: %u (0x%02x)");
      d.AddUint(layer, kLifetime, h + 6, "Lifetime: %u (0x%04x)");
      if (count && size) AddRouterEntries(d, layer, h, *count, *size);
      break;
    }
    case 13:
    case 14:
      AddIdentifierAndSequence(d, layer, h);
      AddTime(d, layer, kOriginate, "Begining time", h + 8);
      AddTime(d, layer, kReceive, "Response time", h + 12);
      AddTime(d, layer, kTransmit, "Transmision time", h + 16);
      break;
    case 17:
    case 18:
      AddIdentifierAndSequence(d, layer, h);
      AddIpv4Line(d, layer, kAddressMask, "Subnetwork mask", h + 8, h + 12);
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
    d.AddLayerLine(kIcmp, "ICMP", h, h);
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
