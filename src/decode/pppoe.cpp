#include "decode/pppoe.h"

#include <algorithm>

#include "decode/bit_pattern.h"
#include "decode/ipv4.h"
#include "decode/ipv6.h"
#include "decode/ipx.h"
#include "decode/mpls.h"
#include "decode/text_format.h"

namespace qv {

namespace {

// Version and type, code, session id, payload length.
constexpr std::uint32_t kPppoeHeaderLength = 6;
constexpr std::uint32_t kTagHeaderLength = 4;
// Code, identifier and length of a control protocol's packet.
constexpr std::uint32_t kControlHeaderLength = 4;

constexpr FieldInfo kDiscovery{"pppoed", "PPP-over-Ethernet Discovery", FieldType::Protocol};
constexpr FieldInfo kSession{"pppoes", "PPP-over-Ethernet Session", FieldType::Protocol};
constexpr FieldInfo kVersion{"pppoe.version", "Version", FieldType::UInt8, FieldBase::Dec, 0xF0};
constexpr FieldInfo kType{"pppoe.type", "Type", FieldType::UInt8, FieldBase::Dec, 0x0F};
constexpr FieldInfo kCode{"pppoe.code", "Code", FieldType::UInt8, FieldBase::Hex};
constexpr FieldInfo kSessionId{"pppoe.session_id", "Session ID", FieldType::UInt16, FieldBase::Hex};
constexpr FieldInfo kPayloadLength{"pppoe.payload_length", "Payload Length", FieldType::UInt16, FieldBase::Dec};

constexpr FieldInfo kTags{"pppoed.tags", "PPPoE Tags", FieldType::None};
constexpr FieldInfo kTag{"pppoed.tag", "Tag", FieldType::UInt16, FieldBase::Hex};
constexpr FieldInfo kTagLength{"pppoed.tag_length", "Tag Length", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kServiceName{"pppoed.tags.service_name", "Service-Name", FieldType::String};
constexpr FieldInfo kAcName{"pppoed.tags.ac_name", "AC-Name", FieldType::String};
constexpr FieldInfo kHostUniq{"pppoed.tags.host_uniq", "Host-Uniq", FieldType::Bytes};
constexpr FieldInfo kAcCookie{"pppoed.tags.ac_cookie", "AC-Cookie", FieldType::Bytes};
constexpr FieldInfo kVendorId{"pppoed.tags.vendor_id", "Vendor id", FieldType::UInt32, FieldBase::Dec};
constexpr FieldInfo kVendorData{"pppoed.tags.vendor_unspecified", "Vendor unspecified", FieldType::Bytes};
constexpr FieldInfo kRelaySessionId{"pppoed.tags.relay_session_id", "Relay-Session-Id", FieldType::Bytes};
constexpr FieldInfo kMaxPayload{"pppoed.tags.max_payload", "PPP-Max-Payload", FieldType::Bytes};
constexpr FieldInfo kServiceNameError{"pppoed.tags.service_name_error", "Service-Name-Error", FieldType::String};
constexpr FieldInfo kAcSystemError{"pppoed.tags.ac_system_error", "AC-System-Error", FieldType::String};
constexpr FieldInfo kGenericError{"pppoed.tags.generic_error", "Generic-Error", FieldType::String};
constexpr FieldInfo kUnknownData{"pppoed.tag.unknown_data", "Unknown Data", FieldType::Bytes};

constexpr FieldInfo kPpp{"ppp", "Point-to-Point Protocol", FieldType::Protocol};
constexpr FieldInfo kAddress{"ppp.address", "Address", FieldType::UInt8, FieldBase::Hex};
constexpr FieldInfo kControl{"ppp.control", "Control", FieldType::UInt8, FieldBase::Hex};
constexpr FieldInfo kProtocol{"ppp.protocol", "Protocol", FieldType::UInt16, FieldBase::Hex};
constexpr FieldInfo kData{"ppp.data", "Data", FieldType::Bytes};
constexpr FieldInfo kLcp{"lcp", "PPP Link Control Protocol", FieldType::Protocol};
constexpr FieldInfo kIpcp{"ipcp", "PPP IP Control Protocol", FieldType::Protocol};
constexpr FieldInfo kIpv6cp{"ipv6cp", "PPP IPv6 Control Protocol", FieldType::Protocol};
constexpr FieldInfo kControlCode{"ppp.code", "Code", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kIdentifier{"ppp.identifier", "Identifier", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kControlLength{"ppp.length", "Length", FieldType::UInt16, FieldBase::Dec};

// The fields that the discovery and session stages share are named under
// this protocol, which has no line of its own.
constexpr FieldInfo kPppoe{"pppoe", "PPP-over-Ethernet", FieldType::Protocol};
constexpr const FieldInfo* kFields[] = {&kPppoe,
    &kDiscovery,
    &kSession,
    &kVersion,
    &kType,
    &kCode,
    &kSessionId,
    &kPayloadLength,
    &kTags,
    &kTag,
    &kTagLength,
    &kServiceName,
    &kAcName,
    &kHostUniq,
    &kAcCookie,
    &kVendorId,
    &kVendorData,
    &kRelaySessionId,
    &kMaxPayload,
    &kServiceNameError,
    &kAcSystemError,
    &kGenericError,
    &kUnknownData,
    &kPpp,
    &kAddress,
    &kControl,
    &kProtocol,
    &kData,
    &kLcp,
    &kIpcp,
    &kIpv6cp,
    &kControlCode,
    &kIdentifier,
    &kControlLength,
};
const FieldRegistration kRegistration(kFields);

// ---------------------------------------------------------------- PPPoE

const char* CodeName(std::uint8_t code) {
  switch (code) {
    case 0x00: return "Session Data";
    case 0x07: return "Active Discovery Offer (PADO)";
    case 0x09: return "Active Discovery Initiation (PADI)";
    case 0x19: return "Active Discovery Request (PADR)";
    case 0x65: return "Active Discovery Session-confirmation (PADS)";
    case 0xA7: return "Active Discovery Terminate (PADT)";
    case 0xD3: return "Active Discovery Message (PADM)";
    case 0xD4: return "Active Discovery Network (PADN)";
    default: return "Unknown";
  }
}

// The common header of both stages; the payload length, when captured.
std::optional<std::uint16_t> AddPppoeHeader(PacketDecoder& d, NodeId layer, std::uint32_t h) {
  d.AddUint(layer, kVersion, h, [](std::uint32_t v) { return BitLine(kVersion, v, Format("Version: %u", v)); });
  d.AddUint(layer, kType, h, [](std::uint32_t v) { return BitLine(kType, v, Format("Type: %u", v)); });
  d.AddUint(layer, kCode, h + 1,
            [](std::uint32_t v) { return Format("Code: %s (0x%02x)", CodeName(static_cast<std::uint8_t>(v)), v); });
  d.AddUint(layer, kSessionId, h + 2, "Session ID: 0x%04x");
  const FieldRead<std::uint32_t> length = d.AddUint(layer, kPayloadLength, h + 4, "Payload Length: %u");
  if (!length) return std::nullopt;
  return static_cast<std::uint16_t>(*length);
}

enum class TagValue : std::uint8_t { String, Bytes, Vendor };

struct TagEntry {
  std::uint16_t type;
  const char* name;
  const FieldInfo* field;  // null: end of list
  TagValue value;
};

constexpr TagEntry kTagTypes[] = {
    {0x0000, "End-Of-List", nullptr, TagValue::Bytes},
    {0x0101, "Service-Name", &kServiceName, TagValue::String},
    {0x0102, "AC-Name", &kAcName, TagValue::String},
    {0x0103, "Host-Uniq", &kHostUniq, TagValue::Bytes},
    {0x0104, "AC-Cookie", &kAcCookie, TagValue::Bytes},
    {0x0105, "Vendor-Specific", &kVendorData, TagValue::Vendor},
    {0x0110, "Relay-Session-Id", &kRelaySessionId, TagValue::Bytes},
    {0x0120, "PPP-Max-Payload", &kMaxPayload, TagValue::Bytes},
    {0x0201, "Service-Name-Error", &kServiceNameError, TagValue::String},
    {0x0202, "AC-System-Error", &kAcSystemError, TagValue::String},
    {0x0203, "Generic-Error", &kGenericError, TagValue::String},
};
constexpr TagEntry kUnknownTag{0xFFFF, "Unknown", &kUnknownData, TagValue::Bytes};

const TagEntry& FindTag(std::uint16_t type) {
  for (const TagEntry& e : kTagTypes) {
    if (e.type == type) return e;
  }
  return kUnknownTag;
}

std::string HexText(const std::uint8_t* bytes, std::uint32_t count) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(count * 2);
  for (std::uint32_t i = 0; i < count; ++i) {
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 0xF];
  }
  return out;
}

// Text as carried, with anything unprintable as \xNN.
std::string PrintableText(const std::uint8_t* bytes, std::uint32_t count) {
  std::string out;
  out.reserve(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint8_t c = bytes[i];
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out += static_cast<char>(c);
    } else {
      out += Format("\\x%02x", c);
    }
  }
  return out;
}

// One tag at `at` whose value claims `length` bytes; what it shows of them
// ends at `end`, the end of the tags.
void AddTag(PacketDecoder& d, NodeId tags, std::uint32_t at, std::uint16_t type, std::uint16_t length,
            std::uint32_t end) {
  const TagEntry& e = FindTag(type);
  const std::uint32_t value = at + kTagHeaderLength;
  const std::uint32_t shown = std::min<std::uint32_t>(length, end - value);
  const std::uint8_t* bytes = d.Bytes(value, shown);

  std::string text;
  if (e.field == nullptr) {
    text = e.name;
  } else if (length == 0) {
    // An empty Service-Name asks for any service.
    text = Format("%s:%s", e.name, type == 0x0101 ? " (any)" : "");
  } else if (e.value == TagValue::String) {
    text = std::string(e.name) + ": " + PrintableText(bytes, shown);
  } else {
    text = std::string(e.name) + ": " + HexText(bytes, shown);
  }
  const NodeId line = d.AddLine(tags, text, at, value + shown);
  d.AddUint(line, kTag, at, [&e](std::uint32_t v) { return Format("Tag: %s (0x%04x)", e.name, v); });
  d.AddUint(line, kTagLength, at + 2, "Tag Length: %u");
  if (e.field == nullptr || shown == 0) return;
  if (e.value == TagValue::Vendor && shown >= 4) {
    // The vendor's SMI enterprise number, then data of its own.
    d.AddUint(line, kVendorId, value, "Vendor id: %u");
    d.AddBytes(line, kVendorData, value + 4, shown - 4u, Format("Vendor data (%u bytes)", shown - 4u));
    return;
  }
  d.AddBytes(line, *e.field, value, shown, text);
}

// The tags of a discovery packet, from `start` to `end` (the payload's end
// as captured). The walk ends at an End-Of-List tag or at the end.
void AddTags(PacketDecoder& d, NodeId layer, std::uint32_t start, std::uint32_t end) {
  if (start >= end) return;
  const NodeId tags = d.AddFieldLine(layer, kTags, "PPPoE Tags", start, end);
  std::uint64_t p = start;
  while (p + kTagHeaderLength <= end) {
    const auto at = static_cast<std::uint32_t>(p);
    const std::uint16_t type = *d.U16(at);
    const std::uint16_t length = *d.U16(at + 2);
    AddTag(d, tags, at, type, length, end);
    if (type == 0x0000) return;
    p += kTagHeaderLength + length;
  }
}

// Decodes the header of either stage; the layer line (kNoNode in summary mode).
NodeId DecodePppoeHeader(PacketDecoder& d, const FieldInfo& proto, std::optional<std::uint16_t>& payloadLength) {
  const std::uint32_t h = d.offset;
  d.BeginLayer(Protocol::Pppoe);
  if (!d.IsTree()) return kNoNode;
  const NodeId layer = d.AddLayerLine(proto, std::string(proto.name), h, h + kPppoeHeaderLength);
  payloadLength = AddPppoeHeader(d, layer, h);
  return layer;
}

// ---------------------------------------------------------------- PPP

enum class PppPayload : std::uint8_t { Data, Ipv4, Ipv6, Ipx, Mpls, Control };

struct PppProtocolEntry {
  std::uint16_t number;
  const char* name;
  PppPayload payload;
  const FieldInfo* control = nullptr;  // the control protocol's layer field
};

constexpr PppProtocolEntry kPppProtocols[] = {
    {0x0021, "Internet Protocol version 4", PppPayload::Ipv4},
    {0x0057, "Internet Protocol version 6", PppPayload::Ipv6},
    {0x002B, "Novell IPX", PppPayload::Ipx},
    {0x0281, "MPLS Unicast", PppPayload::Mpls},
    {0x0283, "MPLS Multicast", PppPayload::Mpls},
    {0x003D, "PPP Multilink Protocol", PppPayload::Data},
    {0x00FD, "Compressed datagram", PppPayload::Data},
    {0xC021, "Link Control Protocol", PppPayload::Control, &kLcp},
    {0x8021, "Internet Protocol Control Protocol", PppPayload::Control, &kIpcp},
    {0x8057, "IPv6 Control Protocol", PppPayload::Control, &kIpv6cp},
    {0x8281, "MPLS Control Protocol", PppPayload::Data},
    {0x80FD, "Compression Control Protocol", PppPayload::Data},
    {0xC023, "Password Authentication Protocol", PppPayload::Data},
    {0xC025, "Link Quality Report", PppPayload::Data},
    {0xC223, "Challenge Handshake Authentication Protocol", PppPayload::Data},
};

const PppProtocolEntry* FindPppProtocol(std::uint16_t number) {
  for (const PppProtocolEntry& e : kPppProtocols) {
    if (e.number == number) return &e;
  }
  return nullptr;
}

// The codes of LCP; IPCP and IPV6CP use the first seven.
const char* ControlCodeName(std::uint32_t code) {
  switch (code) {
    case 1: return "Configuration Request";
    case 2: return "Configuration Ack";
    case 3: return "Configuration Nak";
    case 4: return "Configuration Reject";
    case 5: return "Termination Request";
    case 6: return "Termination Ack";
    case 7: return "Code Reject";
    case 8: return "Protocol Reject";
    case 9: return "Echo Request";
    case 10: return "Echo Reply";
    case 11: return "Discard Request";
    case 12: return "Identification";
    case 13: return "Time Remaining";
    default: return "Unknown";
  }
}

// The packet of LCP, IPCP or IPV6CP at `at`: a layer line of its own with
// code, identifier and length; what follows them (options, a magic number)
// is shown as data.
void AddControlPacket(PacketDecoder& d, const FieldInfo& proto, std::uint32_t at) {
  const std::optional<std::uint16_t> length = d.U16(at + 2);
  const std::uint32_t end = at + (length && *length > kControlHeaderLength ? *length : kControlHeaderLength);
  d.AddLayerStart(at);
  const NodeId line = d.AddLayerLine(proto, std::string(proto.name), at, end);
  d.AddUint(line, kControlCode, at, [](std::uint32_t v) { return Format("Code: %s (%u)", ControlCodeName(v), v); });
  d.AddUint(line, kIdentifier, at + 1, "Identifier: %u (0x%02x)");
  d.AddUint(line, kControlLength, at + 2, "Length: %u");
  if (end > at + kControlHeaderLength) {
    const std::uint32_t dataLength = end - at - kControlHeaderLength;
    d.AddBytes(line, kData, at + kControlHeaderLength, dataLength, Format("Data (%u bytes)", dataLength));
  }
}

// A payload that no decoder here takes: offered to the scripts, and when
// none claims it, shown as data and marked unsupported.
void ShowPayloadAsData(PacketDecoder& d, NodeId layer, std::uint32_t headerLength) {
  if (!d.IsTree() || d.ApplyScripts(headerLength, "ppp")) return;
  const std::uint32_t at = d.offset + headerLength;
  const std::uint32_t length = d.Available(at);
  d.AddBytes(layer, kData, at, length, Format("Data (%u bytes)", length));
  const std::uint32_t saved = d.offset;
  d.offset = at;
  d.MarkUnsupported();
  d.offset = saved;
}

}  // namespace

void DecodePppoeDiscovery(PacketDecoder& d) {
  const std::uint32_t h = d.offset;
  std::optional<std::uint16_t> payloadLength;
  const NodeId layer = DecodePppoeHeader(d, kDiscovery, payloadLength);
  if (layer == kNoNode || !payloadLength) return;
  // The tags fill the payload; what follows it is the Ethernet padding.
  const std::uint64_t end = static_cast<std::uint64_t>(h) + kPppoeHeaderLength + *payloadLength;
  const auto clipped = static_cast<std::uint32_t>(std::min<std::uint64_t>(end, d.capturedLength));
  d.SetRange(layer, h, clipped);
  AddTags(d, layer, h + kPppoeHeaderLength, clipped);
}

void DecodePppoeSession(PacketDecoder& d) {
  const std::uint32_t h = d.offset;
  std::optional<std::uint16_t> payloadLength;
  const NodeId layer = DecodePppoeHeader(d, kSession, payloadLength);
  d.Dispatch(DecodePpp, h + kPppoeHeaderLength);
  d.FinishLayer(layer, kPppoeHeaderLength, "pppoes");
}

void DecodePpp(PacketDecoder& d) {
  const std::uint32_t h = d.offset;
  d.BeginLayer(Protocol::Ppp);
  const NodeId layer = d.IsTree() ? d.AddLayerLine(kPpp, "Point-to-Point Protocol", h, h + 2) : kNoNode;

  // The all-stations address and the UI control byte, unless compressed
  // away (0xff can never start a protocol number).
  std::uint32_t p = h;
  if (d.U8(h) == 0xFF && d.U8(h + 1) == 0x03) {
    d.AddUint(layer, kAddress, h, "Address: 0x%02x");
    d.AddUint(layer, kControl, h + 1, "Control: 0x%02x");
    p += 2;
  }
  // A protocol number is odd in its low byte and even in its high byte: an
  // odd first byte is a protocol field compressed to one byte.
  const std::optional<std::uint8_t> first = d.U8(p);
  std::optional<std::uint16_t> protocol;
  std::uint32_t protocolLength = 2;
  if (first && (*first & 1) != 0) {
    protocol = *first;
    protocolLength = 1;
  } else {
    protocol = d.U16(p);
  }
  const std::uint32_t headerLength = p + protocolLength - h;
  d.SetRange(layer, h, h + headerLength);
  if (!protocol) return;

  const PppProtocolEntry* e = FindPppProtocol(*protocol);
  if (d.IsTree()) {
    const std::string text =
        Format("Protocol: %s (0x%04x)", e != nullptr ? e->name : "Unknown", static_cast<unsigned>(*protocol));
    d.AddFieldLine(layer, kProtocol, text, p, p + protocolLength, *protocol);
  }

  const std::uint32_t at = h + headerLength;
  switch (e != nullptr ? e->payload : PppPayload::Data) {
    case PppPayload::Ipv4: d.Dispatch(DecodeIpv4, at); break;
    case PppPayload::Ipv6: d.Dispatch(DecodeIpv6, at); break;
    case PppPayload::Ipx: d.Dispatch(DecodeIpx, at); break;
    case PppPayload::Mpls:
      if (!d.DispatchOptional(OptionalDecoder::Mpls, DecodeMpls, headerLength, "ppp")) {
        ShowPayloadAsData(d, layer, headerLength);
        return;
      }
      break;
    case PppPayload::Control:
      if (d.IsTree() && d.Has(at, 1) && !d.ApplyScripts(headerLength, "ppp")) AddControlPacket(d, *e->control, at);
      return;
    case PppPayload::Data: ShowPayloadAsData(d, layer, headerLength); return;
  }
  d.FinishLayer(layer, headerLength, "ppp");
}

}  // namespace qv
