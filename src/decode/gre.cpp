#include "decode/gre.h"

#include <algorithm>

#include "decode/bit_pattern.h"
#include "decode/ethernet.h"
#include "decode/ipv4.h"
#include "decode/pppoe.h"
#include "decode/text_format.h"
#include "decode/tunnelled_ethernet.h"
#include "decode/vlan.h"

namespace qv {

namespace {

// Flags and version, protocol type.
constexpr std::uint32_t kBaseLength = 4;
constexpr std::uint32_t kWccpRedirectLength = 4;
constexpr std::uint32_t kSreHeaderLength = 4;

constexpr std::uint16_t kChecksumBit = 0x8000;
constexpr std::uint16_t kRoutingBit = 0x4000;
constexpr std::uint16_t kKeyBit = 0x2000;
constexpr std::uint16_t kSequenceBit = 0x1000;
constexpr std::uint16_t kAckBit = 0x0080;  // enhanced GRE only

constexpr FieldInfo kGre{"gre", "Generic Routing Encapsulation", FieldType::Protocol};
constexpr FieldInfo kFlagsAndVersion{"gre.flags_and_version", "Flags and Version", FieldType::UInt16, FieldBase::Hex};
constexpr FieldInfo kFlagChecksum{"gre.flags.checksum", "Checksum Bit", FieldType::Boolean,
                                  FieldBase::None,      kChecksumBit,   2};
constexpr FieldInfo kFlagRouting{"gre.flags.routing", "Routing Bit", FieldType::Boolean,
                                 FieldBase::None,     kRoutingBit,   2};
constexpr FieldInfo kFlagKey{"gre.flags.key", "Key Bit", FieldType::Boolean, FieldBase::None, kKeyBit, 2};
constexpr FieldInfo kFlagSequence{
    "gre.flags.sequence_number", "Sequence Number Bit", FieldType::Boolean, FieldBase::None, kSequenceBit, 2};
constexpr FieldInfo kFlagStrictRoute{
    "gre.flags.strict_source_route", "Strict Source Route Bit", FieldType::Boolean, FieldBase::None, 0x0800, 2};
constexpr FieldInfo kRecursion{"gre.flags.recursion_control", "Recursion control", FieldType::UInt16, FieldBase::Dec,
                               0x0700};
constexpr FieldInfo kFlagAck{"gre.flags.ack", "Acknowledgment", FieldType::Boolean, FieldBase::None, kAckBit, 2};
constexpr FieldInfo kReserved{"gre.flags.reserved", "Flags (Reserved)", FieldType::UInt16, FieldBase::Dec, 0x00F8};
// Enhanced GRE takes one of those bits for the acknowledgment.
constexpr FieldInfo kReservedEnhanced{"gre.flags.reserved_ppp", "Flags (Reserved)", FieldType::UInt16, FieldBase::Dec,
                                      0x0078};
constexpr FieldInfo kVersion{"gre.flags.version", "Version", FieldType::UInt16, FieldBase::Dec, 0x0007};
constexpr FieldInfo kProtocolType{"gre.proto", "Protocol Type", FieldType::UInt16, FieldBase::Hex};
constexpr FieldInfo kChecksum{"gre.checksum", "Checksum", FieldType::UInt16, FieldBase::Hex};
constexpr FieldInfo kOffset{"gre.offset", "Offset", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kKey{"gre.key", "Key", FieldType::UInt32, FieldBase::Hex};
constexpr FieldInfo kPayloadLength{"gre.key.payload_length", "Payload Length", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kCallId{"gre.key.call_id", "Call ID", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kSequence{"gre.sequence_number", "Sequence Number", FieldType::UInt32, FieldBase::Dec};
constexpr FieldInfo kAckNumber{"gre.ack_number", "Acknowledgment Number", FieldType::UInt32, FieldBase::Dec};
constexpr FieldInfo kRouting{"gre.routing", "Routing", FieldType::None};
constexpr FieldInfo kSreFamily{"gre.routing.address_family", "Address Family", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kSreOffset{"gre.routing.sre_offset", "SRE Offset", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kSreLength{"gre.routing.src_length", "SRE Length", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kSreInformation{"gre.routing.information", "Routing Information", FieldType::Bytes};
constexpr FieldInfo kWccpRedirect{"gre.wccp.redirect_header", "Redirect Header", FieldType::None};
constexpr FieldInfo kWccpDynamic{
    "gre.wccp.dynamic_service", "Dynamic Service", FieldType::Boolean, FieldBase::None, 0x01, 1};
constexpr FieldInfo kWccpAlternativeUsed{
    "gre.wccp.alternative_bucket_used", "Alternative bucket used", FieldType::Boolean, FieldBase::None, 0x02, 1};
constexpr FieldInfo kWccpValid{
    "gre.wccp.redirect_header_valid", "WCCP Redirect header is valid", FieldType::Boolean, FieldBase::None, 0x04, 1};
constexpr FieldInfo kWccpService{"gre.wccp.service_id", "Service ID", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kWccpAlternative{"gre.wccp.alternative_bucket", "Alternative Bucket", FieldType::UInt8,
                                     FieldBase::Dec};
constexpr FieldInfo kWccpPrimary{"gre.wccp.primary_bucket", "Primary Bucket", FieldType::UInt8, FieldBase::Dec};
// The payload of a type shown but not decoded here.
constexpr FieldInfo kPayload{"gre.payload", "Payload", FieldType::Bytes};

constexpr const FieldInfo* kFields[] = {
    &kGre,
    &kFlagsAndVersion,
    &kFlagChecksum,
    &kFlagRouting,
    &kFlagKey,
    &kFlagSequence,
    &kFlagStrictRoute,
    &kRecursion,
    &kFlagAck,
    &kReserved,
    &kReservedEnhanced,
    &kVersion,
    &kProtocolType,
    &kChecksum,
    &kOffset,
    &kKey,
    &kPayloadLength,
    &kCallId,
    &kSequence,
    &kAckNumber,
    &kRouting,
    &kSreFamily,
    &kSreOffset,
    &kSreLength,
    &kSreInformation,
    &kWccpRedirect,
    &kWccpDynamic,
    &kWccpAlternativeUsed,
    &kWccpValid,
    &kWccpService,
    &kWccpAlternative,
    &kWccpPrimary,
    &kPayload,
};
const FieldRegistration kRegistration(kFields);

enum class GrePayload : std::uint8_t { ByEtherType, Ethernet, Wccp, Ppp, CustomerTag, ProviderTag, Data };

struct GreTypeEntry {
  std::uint16_t type;
  const char* name;  // in the layer line
  GrePayload payload;
};

// The protocol types GRE itself knows; the others are EtherTypes like any.
constexpr GreTypeEntry kGreTypes[] = {
    {0x0800, "IPv4", GrePayload::ByEtherType},
    {0x86DD, "IPv6", GrePayload::ByEtherType},
    {0x6558, "Transparent Ethernet bridging", GrePayload::Ethernet},
    {0x883E, "WCCP", GrePayload::Wccp},
    {0x880B, "PPP", GrePayload::Ppp},
    {0x88BE, "ERSPAN", GrePayload::Data},
    {0x22EB, "ERSPAN type III", GrePayload::Data},
    {0x8847, "MPLS", GrePayload::ByEtherType},
    {0x8848, "MPLS multicast", GrePayload::ByEtherType},
    {0x8100, "802.1Q", GrePayload::CustomerTag},
    {0x9100, "802.1Q", GrePayload::CustomerTag},
    {0x88A8, "802.1ad", GrePayload::ProviderTag},
};

const GreTypeEntry* FindGreType(std::uint16_t type) {
  for (const GreTypeEntry& e : kGreTypes) {
    if (e.type == type) return &e;
  }
  return nullptr;
}

std::string TypeText(PacketDecoder& d, std::uint16_t type) {
  const GreTypeEntry* g = FindGreType(type);
  if (g != nullptr && g->payload != GrePayload::ByEtherType) return Format("Protocol Type: 0x%04x - %s", type, g->name);
  const EtherTypeEntry* e = FindEtherType(type, d);
  return Format("Protocol Type: 0x%04x%s", type, e != nullptr ? e->suffix : "");
}

std::string YesNo(const FieldInfo& f, std::uint32_t v) {
  return BitLine(f, v, std::string(f.name) + (v != 0 ? ": Yes" : ": No"));
}

void AddFlags(PacketDecoder& d, NodeId layer, std::uint32_t h, bool enhanced) {
  const NodeId flags = d.AddUint(layer, kFlagsAndVersion, h, "Flags and Version: 0x%04x").line;
  d.AddUint(flags, kFlagChecksum, h, [](std::uint32_t v) { return YesNo(kFlagChecksum, v); });
  d.AddUint(flags, kFlagRouting, h, [](std::uint32_t v) { return YesNo(kFlagRouting, v); });
  d.AddUint(flags, kFlagKey, h, [](std::uint32_t v) { return YesNo(kFlagKey, v); });
  d.AddUint(flags, kFlagSequence, h, [](std::uint32_t v) { return YesNo(kFlagSequence, v); });
  d.AddUint(flags, kFlagStrictRoute, h, [](std::uint32_t v) { return YesNo(kFlagStrictRoute, v); });
  d.AddUint(flags, kRecursion, h,
            [](std::uint32_t v) { return BitLine(kRecursion, v, Format("Recursion control: %u", v)); });
  if (enhanced) d.AddUint(flags, kFlagAck, h, [](std::uint32_t v) { return YesNo(kFlagAck, v); });
  const FieldInfo& reserved = enhanced ? kReservedEnhanced : kReserved;
  d.AddUint(flags, reserved, h,
            [&reserved](std::uint32_t v) { return BitLine(reserved, v, Format("Flags (Reserved): %u", v)); });
  d.AddUint(flags, kVersion, h, [](std::uint32_t v) {
    const char* name = v == 0 ? "GRE" : (v == 1 ? "Enhanced GRE" : "Unknown");
    return BitLine(kVersion, v, Format("Version: %s (%u)", name, v));
  });
}

// The source route entries from `at` (RFC 1701), up to the null entry;
// returns where they end, or nothing when the list was cut before its end.
std::optional<std::uint32_t> AddRouting(PacketDecoder& d, NodeId layer, std::uint32_t at) {
  const NodeId routing = d.IsTree() ? d.AddFieldLine(layer, kRouting, "Routing", at, at) : kNoNode;
  std::uint64_t p = at;
  for (;;) {
    const auto sre = static_cast<std::uint32_t>(p);
    const std::optional<std::uint16_t> family = d.U16(sre);
    const std::optional<std::uint8_t> length = d.U8(sre + 3);
    if (!family || !length) return std::nullopt;
    if (d.IsTree()) {
      const NodeId line =
          d.AddLine(routing, Format("Source Route Entry, family %u", *family), sre, sre + kSreHeaderLength + *length);
      d.AddUint(line, kSreFamily, sre, "Address Family: %u");
      d.AddUint(line, kSreOffset, sre + 2, "SRE Offset: %u");
      d.AddUint(line, kSreLength, sre + 3, "SRE Length: %u");
      d.AddBytes(line, kSreInformation, sre + kSreHeaderLength, *length,
                 Format("Routing Information (%u bytes)", *length));
    }
    p += kSreHeaderLength + *length;
    d.SetRange(routing, at, static_cast<std::uint32_t>(std::min<std::uint64_t>(p, d.capturedLength)));
    if (*family == 0 && *length == 0) return static_cast<std::uint32_t>(p);
    if (p > d.capturedLength) return std::nullopt;
  }
}

// The redirect header that WCCP puts before the redirected IPv4 packet; some
// routers leave it out, and then the payload starts with an IPv4 version.
std::uint32_t AddWccpRedirect(PacketDecoder& d, NodeId layer, std::uint32_t at) {
  const std::optional<std::uint8_t> first = d.U8(at);
  if (!first || (*first >> 4) == 4) return 0;
  if (d.IsTree()) {
    const NodeId line = d.AddFieldLine(layer, kWccpRedirect, "Redirect Header", at, at + kWccpRedirectLength);
    d.AddUint(line, kWccpDynamic, at, [](std::uint32_t v) {
      return BitLine(kWccpDynamic, v,
                     v != 0 ? "Dynamic Service: Dynamic service" : "Dynamic Service: Well-known service");
    });
    d.AddUint(line, kWccpAlternativeUsed, at, [](std::uint32_t v) {
      return BitLine(
          kWccpAlternativeUsed, v,
          v != 0 ? "Alternative bucket used: Alternative bucket used" : "Alternative bucket used: Primary bucket used");
    });
    d.AddUint(line, kWccpValid, at, [](std::uint32_t v) {
      return BitLine(kWccpValid, v,
                     v != 0 ? "WCCP Redirect header is valid: Header is present, but ignore contents"
                            : "WCCP Redirect header is valid: Header is present and valid");
    });
    d.AddUint(line, kWccpService, at + 1, "Service ID: %u");
    d.AddUint(line, kWccpAlternative, at + 2, "Alternative Bucket: %u");
    d.AddUint(line, kWccpPrimary, at + 3, "Primary Bucket: %u");
  }
  return kWccpRedirectLength;
}

// A payload that is named but not decoded here: offered to the scripts, and
// when none claims it, shown as data and marked unsupported.
void ShowPayloadAsData(PacketDecoder& d, NodeId layer, std::uint32_t headerLength) {
  if (!d.IsTree() || d.ApplyScripts(headerLength, "gre")) return;
  const std::uint32_t at = d.offset + headerLength;
  const std::uint32_t length = d.Available(at);
  d.AddBytes(layer, kPayload, at, length, Format("Data (%u bytes)", length));
  const std::uint32_t saved = d.offset;
  d.offset = at;
  d.MarkUnsupported();
  d.offset = saved;
}

}  // namespace

void DecodeGre(PacketDecoder& d) {
  const std::uint32_t h = d.offset;
  d.BeginLayer(Protocol::Gre);
  const std::optional<std::uint16_t> flags = d.U16(h);
  const std::optional<std::uint16_t> type = d.U16(h + 2);
  const unsigned version = flags ? *flags & 7u : 0;
  const bool enhanced = version == 1;

  NodeId layer = kNoNode;
  if (d.IsTree()) {
    const GreTypeEntry* g = type ? FindGreType(*type) : nullptr;
    layer = d.AddLayerLine(kGre,
                           g != nullptr ? Format("Generic Routing Encapsulation (%s)", g->name)
                           : type       ? Format("Generic Routing Encapsulation (0x%04x)", *type)
                                        : std::string("Generic Routing Encapsulation"),
                           h, h + kBaseLength);
    AddFlags(d, layer, h, enhanced);
    if (type) d.AddFieldLine(layer, kProtocolType, TypeText(d, *type), h + 2, h + 4, *type);
  }
  if (!flags || !type) return;

  // The optional fields, each where its bit says it is.
  const std::uint16_t f = *flags;
  std::uint32_t p = h + kBaseLength;
  if (!enhanced && (f & (kChecksumBit | kRoutingBit)) != 0) {
    d.AddUint(layer, kChecksum, p, "Checksum: 0x%04x");
    d.AddUint(layer, kOffset, p + 2, "Offset: %u");
    p += 4;
  }
  if ((f & kKeyBit) != 0) {
    if (enhanced) {
      // PPTP: the payload length and the peer's call id.
      d.AddUint(layer, kPayloadLength, p, "Payload Length: %u");
      d.AddUint(layer, kCallId, p + 2, "Call ID: %u");
    } else {
      d.AddUint(layer, kKey, p, "Key: 0x%08x");
    }
    p += 4;
  }
  if ((f & kSequenceBit) != 0) {
    d.AddUint(layer, kSequence, p, "Sequence Number: %u");
    p += 4;
  }
  if (enhanced && (f & kAckBit) != 0) {
    d.AddUint(layer, kAckNumber, p, "Acknowledgment Number: %u");
    p += 4;
  }
  if (!enhanced && (f & kRoutingBit) != 0) {
    const std::optional<std::uint32_t> end = AddRouting(d, layer, p);
    if (!end) {
      // The routing list was cut: where the payload starts is unknown.
      d.SetRange(layer, h, d.capturedLength);
      return;
    }
    p = *end;
  }
  std::uint32_t headerLength = p - h;

  const GreTypeEntry* g = FindGreType(*type);
  GrePayload payload = g != nullptr ? g->payload : GrePayload::ByEtherType;
  // Only versions 0 and 1 have a known layout; the payload of any other is
  // left to the scripts.
  if (version > 1) payload = GrePayload::Data;
  if (payload == GrePayload::Wccp) headerLength += AddWccpRedirect(d, layer, h + headerLength);
  d.SetRange(layer, h, h + headerLength);

  switch (payload) {
    case GrePayload::ByEtherType: DispatchEtherType(d, *type, headerLength, "gre"); break;
    case GrePayload::Ethernet: d.Dispatch(DecodeTunnelledEthernet, h + headerLength); break;
    case GrePayload::Wccp: d.Dispatch(DecodeIpv4, h + headerLength); break;
    case GrePayload::Ppp:
      // PPP is decoded with PPPoE, and goes with it when that is off.
      if (!d.DispatchOptional(OptionalDecoder::Pppoe, DecodePpp, headerLength, "gre")) {
        ShowPayloadAsData(d, layer, headerLength);
        return;
      }
      break;
    case GrePayload::CustomerTag:
    case GrePayload::ProviderTag: {
      // The tag's own decoder: its kind cannot be read before it, where the
      // optional fields stand. Switched off, the type is like any unknown.
      const DecoderFn tag = payload == GrePayload::CustomerTag ? DecodeCustomerVlan : DecodeProviderVlan;
      if (!d.DispatchOptional(OptionalDecoder::Vlan, tag, headerLength, "gre")) {
        DispatchEtherType(d, *type, headerLength, "gre");
      }
      break;
    }
    case GrePayload::Data: ShowPayloadAsData(d, layer, headerLength); return;
  }
  d.FinishLayer(layer, headerLength, "gre");
}

}  // namespace qv
