#include "decode/vlan.h"

#include "decode/bit_pattern.h"
#include "decode/ethernet.h"
#include "decode/llc.h"
#include "decode/text_format.h"

namespace qv {

namespace {

constexpr std::uint32_t kTagLength = 4;
constexpr std::uint16_t kMaxIeee8023Length = 1500;
constexpr std::uint16_t kTpidProviderBridging = 0x88A8;

// A customer tag (802.1Q).
constexpr FieldInfo kVlan{"vlan", "802.1Q Virtual LAN", FieldType::Protocol};
constexpr FieldInfo kPriority{"vlan.priority", "Priority", FieldType::UInt16, FieldBase::Dec, 0xE000};
constexpr FieldInfo kDei{"vlan.dei", "DEI", FieldType::Boolean, FieldBase::None, 0x1000, 2};
constexpr FieldInfo kId{"vlan.id", "ID", FieldType::UInt16, FieldBase::Dec, 0x0FFF};
constexpr FieldInfo kType{"vlan.etype", "Type", FieldType::UInt16, FieldBase::Hex};
constexpr FieldInfo kLength{"vlan.len", "Length", FieldType::UInt16, FieldBase::Dec};

// A service tag (802.1ad); its type field is the one that 802.1ah names.
constexpr FieldInfo kServiceTag{"ieee8021ad", "IEEE 802.1ad", FieldType::Protocol};
constexpr FieldInfo kServicePriority{"ieee8021ad.priority", "Priority", FieldType::UInt16, FieldBase::Dec, 0xE000};
constexpr FieldInfo kServiceDei{"ieee8021ad.dei", "DEI", FieldType::UInt16, FieldBase::Dec, 0x1000};
constexpr FieldInfo kServiceId{"ieee8021ad.id", "ID", FieldType::UInt16, FieldBase::Dec, 0x0FFF};
constexpr FieldInfo kServiceType{"ieee8021ah.etype", "Type", FieldType::UInt16, FieldBase::Hex};
constexpr FieldInfo kServiceLength{"ieee8021ad.len", "Length", FieldType::UInt16, FieldBase::Dec};

// The protocol under which the peers name the type after an 802.1ad tag; it
// has no line of its own.
constexpr FieldInfo kBackbone{"ieee8021ah", "IEEE 802.1ah", FieldType::Protocol};
constexpr const FieldInfo* kFields[] = {&kVlan, &kBackbone,       &kPriority,  &kDei,         &kId,
                                        &kType,       &kLength,    &kServiceTag,  &kServicePriority,
                                        &kServiceDei, &kServiceId, &kServiceType, &kServiceLength};
const FieldRegistration kRegistration(kFields);

struct TagKind {
  Protocol protocol;
  const FieldInfo& proto;
  const FieldInfo& priority;
  const FieldInfo& dei;
  const FieldInfo& id;
  const FieldInfo& type;
  const FieldInfo& length;
  bool customer;  // 802.1Q: priorities and DEI by name
};

constexpr TagKind kCustomerTag{Protocol::Vlan, kVlan, kPriority, kDei, kId, kType, kLength, true};
constexpr TagKind kProviderTag{Protocol::QinQ, kServiceTag,  kServicePriority, kServiceDei,
                               kServiceId,     kServiceType, kServiceLength,   false};

// The traffic types of IEEE 802.1D-2004, by priority code point.
const char* const kTrafficTypes[8] = {
    "Best Effort (default)",
    "Background",
    "Excellent Effort",
    "Critical Applications",
    "Video, < 100ms latency and jitter",
    "Voice, < 10ms latency and jitter",
    "Internetwork Control",
    "Network Control",
};

std::string LayerText(const TagKind& k, std::optional<std::uint16_t> tci) {
  if (!tci) return std::string(k.proto.name);
  const unsigned id = *tci & 0x0FFFu;
  if (!k.customer) return Format("IEEE 802.1ad, ID: %u", id);
  return Format("802.1Q Virtual LAN, PRI: %u, DEI: %u, ID: %u", *tci >> 13, (*tci >> 12) & 1u, id);
}

void DecodeTag(PacketDecoder& d, const TagKind& k) {
  const std::uint32_t h = d.offset;
  d.BeginLayer(k.protocol);
  const std::optional<std::uint16_t> typeOrLength = d.U16(h + 2);

  NodeId layer = kNoNode;
  if (d.IsTree()) {
    layer = d.AddLayerLine(k.proto, LayerText(k, d.U16(h)), h, h + kTagLength);
    d.AddUint(layer, k.priority, h, [&k](std::uint32_t v) {
      return BitLine(k.priority, v,
                     k.customer ? Format("Priority: %s (%u)", kTrafficTypes[v & 7u], v) : Format("Priority: %u", v));
    });
    d.AddUint(layer, k.dei, h, [&k](std::uint32_t v) {
      return BitLine(k.dei, v, k.customer ? (v != 0 ? "DEI: Eligible" : "DEI: Ineligible") : Format("DEI: %u", v));
    });
    d.AddUint(layer, k.id, h, [&k](std::uint32_t v) { return BitLine(k.id, v, Format("ID: %u", v)); });
    if (typeOrLength && *typeOrLength <= kMaxIeee8023Length) {
      d.AddUint(layer, k.length, h + 2, "Length: %u");
    } else {
      d.AddUint(layer, k.type, h + 2, [&d](std::uint32_t v) {
        const EtherTypeEntry* e = FindEtherType(static_cast<std::uint16_t>(v), d);
        return Format("Type: 0x%04x%s", v, e != nullptr ? e->suffix : "");
      });
    }
  }
  // Nothing after the tag was captured.
  if (!typeOrLength) return;

  if (*typeOrLength <= kMaxIeee8023Length) {
    // An 802.3 length: the LLC header follows the tag.
    d.Dispatch(DecodeLlc, h + kTagLength);
  } else {
    // The next EtherType, which may be another tag.
    DispatchEtherType(d, *typeOrLength, kTagLength, "vlan");
  }
  d.FinishLayer(layer, kTagLength, "vlan");
}

}  // namespace

void DecodeVlan(PacketDecoder& d) {
  // The tag's kind is the EtherType just before it: the MAC header's, a
  // cooked header's protocol field, or the outer tag's type.
  const std::optional<std::uint16_t> tpid = d.offset >= 2 ? d.U16(d.offset - 2) : std::nullopt;
  DecodeTag(d, tpid == kTpidProviderBridging ? kProviderTag : kCustomerTag);
}

void DecodeCustomerVlan(PacketDecoder& d) { DecodeTag(d, kCustomerTag); }

void DecodeProviderVlan(PacketDecoder& d) { DecodeTag(d, kProviderTag); }

}  // namespace qv
