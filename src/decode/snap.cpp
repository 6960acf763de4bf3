#include "decode/snap.h"

#include "decode/ipx.h"
#include "decode/text_format.h"

namespace qv {

namespace {

constexpr std::uint32_t kHeaderLength = 5;
constexpr std::uint16_t kEtherTypeIpx = 0x8137;

// Organisation codes whose protocol ID is an EtherType (RFC 1042 and the
// 802.1H bridge tunnel), and Cisco's, whose IDs are its own.
constexpr std::uint32_t kOuiEncapsulatedEthernet = 0x000000;
constexpr std::uint32_t kOuiBridgeTunnel = 0x0000F8;
constexpr std::uint32_t kOuiCisco = 0x00000C;

constexpr FieldInfo kSnap{"snap", "IEEE SNAP", FieldType::Protocol};
// Filters know the SNAP fields as part of LLC.
constexpr FieldInfo kOui{"llc.oui", "Organization Code", FieldType::UInt24, FieldBase::Dec};
constexpr FieldInfo kEtherType{"llc.type", "Type", FieldType::UInt16, FieldBase::Hex};
constexpr FieldInfo kCiscoPid{"llc.cisco_pid", "PID", FieldType::UInt16, FieldBase::Hex};
constexpr FieldInfo kPid{"llc.pid", "Protocol ID", FieldType::UInt16, FieldBase::Hex};
constexpr const FieldInfo* kFields[] = {&kSnap, &kOui, &kEtherType, &kCiscoPid, &kPid};
const FieldRegistration kRegistration(kFields);

// The field that the protocol ID is under this organisation code.
const FieldInfo& ProtocolIdField(std::uint32_t oui) {
  switch (oui) {
    case kOuiEncapsulatedEthernet:
    case kOuiBridgeTunnel: return kEtherType;
    case kOuiCisco: return kCiscoPid;
    default: return kPid;
  }
}

}  // namespace

// Only IPX is followed behind SNAP, whatever the organisation code; every
// other EtherType is left to the "snap" scripts.
void DecodeSnap(PacketDecoder& d) {
  const std::uint32_t h = d.offset;
  const std::optional<std::uint16_t> etherType = d.U16(h + 3);

  d.BeginLayer(Protocol::Snap);
  NodeId layer = kNoNode;
  if (d.IsTree()) {
    layer = d.AddLayerLine(kSnap, "IEEE SNAP", h, h + kHeaderLength);
    // The protocol ID follows its organisation code: without the code, it
    // was not captured either.
    if (const auto oui = d.AddUint(layer, kOui, h, "Organization code 0x%06x")) {
      d.AddUint(layer, ProtocolIdField(*oui), h + 3, [](std::uint32_t type) {
        return Format("EtherType: 0x%04x%s", type, type == kEtherTypeIpx ? " - IPX" : "");
      });
    }
  }
  if (etherType == kEtherTypeIpx) d.Dispatch(DecodeIpx, h + kHeaderLength);
  d.FinishLayer(layer, kHeaderLength, "snap");
}

}  // namespace qv
