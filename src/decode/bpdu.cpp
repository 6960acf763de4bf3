#include "decode/bpdu.h"

#include "decode/text_format.h"

namespace qv {

namespace {

// A configuration BPDU; whatever follows it is left unclaimed.
constexpr std::uint32_t kLength = 35;

constexpr FieldInfo kProto{"stp", "Spanning Tree Protocol", FieldType::Protocol};
constexpr FieldInfo kVersion{"stp.version", "Protocol Version Identifier", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kType{"stp.type", "BPDU Type", FieldType::UInt8, FieldBase::Hex};
constexpr FieldInfo kFlags{"stp.flags", "BPDU flags", FieldType::UInt8, FieldBase::Hex};
constexpr FieldInfo kRootId{"stp.root.id", "Root Identifier", FieldType::Bytes};
constexpr FieldInfo kRootCost{"stp.root.cost", "Root Path Cost", FieldType::UInt32, FieldBase::Dec};
constexpr FieldInfo kBridgeId{"stp.bridge.id", "Bridge Identifier", FieldType::Bytes};
// The two-byte numbers are shown least significant byte first, so their
// values are those bytes read that way (a time's whole seconds while its
// 1/256 s byte is zero).
constexpr FieldInfo kProtocolLe{"stp.protocol_le", "Protocol Identifier (LSB first)", FieldType::UInt16,
                                FieldBase::Hex};
constexpr FieldInfo kPortLe{"stp.port_le", "Port identifier (LSB first)", FieldType::UInt16, FieldBase::Hex};
constexpr FieldInfo kMsgAgeLe{"stp.msg_age_le", "Message Age (LSB first)", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kMaxAgeLe{"stp.max_age_le", "Max Age (LSB first)", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kHelloLe{"stp.hello_le", "Hello Time (LSB first)", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kForwardLe{"stp.forward_le", "Forward Delay (LSB first)", FieldType::UInt16, FieldBase::Dec};
constexpr const FieldInfo* kFields[] = {&kProto, &kVersion, &kType, &kFlags, &kRootId, &kRootCost, &kBridgeId,
                                        &kProtocolLe, &kPortLe, &kMsgAgeLe, &kMaxAgeLe, &kHelloLe, &kForwardLe};
const FieldRegistration kRegistration(kFields);

void AddNumber16(PacketDecoder& d, NodeId layer, const FieldInfo& f, const char* label, std::uint32_t at) {
  if (const std::optional<std::uint16_t> v = d.U16Le(at)) {
    d.AddFieldLine(layer, f, Format("%s: %u (0x%04x)", label, *v, *v), at, at + FieldWidth(f), *v);
  }
}

void AddNumber8(PacketDecoder& d, NodeId layer, const FieldInfo& f, const char* label, std::uint32_t at) {
  d.AddUint(layer, f, at, [label](std::uint32_t v) { return Format("%s: %u (0x%02x)", label, v, v); });
}

// Root and bridge identifiers: priority and MAC address, byte by byte.
constexpr std::uint32_t kIdentifierLength = 8;

void AddIdentifier(PacketDecoder& d, NodeId layer, const FieldInfo& f, const char* label, std::uint32_t at) {
  if (const std::uint8_t* b = d.Bytes(at, kIdentifierLength)) {
    d.AddBytes(layer, f, at, kIdentifierLength,
               Format("%s: %02x.%02x.%02x.%02x.%02x.%02x.%02x.%02x", label, b[0], b[1], b[2], b[3], b[4], b[5],
                      b[6], b[7]));
  }
}

}  // namespace

void DecodeBpdu(PacketDecoder& d) {
  const std::uint32_t h = d.offset;
  d.BeginLayer(Protocol::Bpdu);
  if (d.IsTree()) {
    const NodeId layer = d.AddLayerLine(kProto, "BPDU", h, h + kLength);
    AddNumber16(d, layer, kProtocolLe, "Protocol identifier", h);
    AddNumber8(d, layer, kVersion, "Protocol version identifier", h + 2);
    AddNumber8(d, layer, kType, "BPDU type", h + 3);
    AddNumber8(d, layer, kFlags, "Flags", h + 4);
    AddIdentifier(d, layer, kRootId, "Root identifier", h + 5);
    d.AddUint(layer, kRootCost, h + 13, "Root path cost: %08x");
    AddIdentifier(d, layer, kBridgeId, "Bridge identifier", h + 17);
    AddNumber16(d, layer, kPortLe, "Port identifier", h + 25);
    AddNumber16(d, layer, kMsgAgeLe, "Message age", h + 27);
    AddNumber16(d, layer, kMaxAgeLe, "Max age", h + 29);
    AddNumber16(d, layer, kHelloLe, "Hello time", h + 31);
    AddNumber16(d, layer, kForwardLe, "Forward delay", h + 33);
  }
  // The bytes after the BPDU are coloured as a layer of their own; no script
  // is offered them.
  d.offset = h + kLength;
  d.MarkUnsupported();
  d.offset = h;
}

}  // namespace qv
