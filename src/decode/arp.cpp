#include "decode/arp.h"

#include "decode/text_format.h"

namespace qv {

namespace {

// ARP and RARP share one body: Ethernet hardware addresses and IPv4 protocol
// addresses, 28 bytes. The two length bytes are shown but the layout is read
// as fixed whatever they say.
constexpr std::uint32_t kBodyLength = 28;

// RARP is read by the same fields.
constexpr FieldInfo kArp{"arp", "Address Resolution Protocol", FieldType::Protocol};
constexpr FieldInfo kHardwareType{"arp.hw.type", "Hardware type", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kProtocolType{"arp.proto.type", "Protocol type", FieldType::UInt16, FieldBase::Hex};
constexpr FieldInfo kHardwareSize{"arp.hw.size", "Hardware size", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kProtocolSize{"arp.proto.size", "Protocol size", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kOpcode{"arp.opcode", "Opcode", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kSenderMac{"arp.src.hw_mac", "Sender MAC address", FieldType::Mac};
constexpr FieldInfo kSenderIp{"arp.src.proto_ipv4", "Sender IP address", FieldType::Ipv4};
constexpr FieldInfo kTargetMac{"arp.dst.hw_mac", "Target MAC address", FieldType::Mac};
constexpr FieldInfo kTargetIp{"arp.dst.proto_ipv4", "Target IP address", FieldType::Ipv4};
constexpr const FieldInfo* kFields[] = {
    &kArp, &kHardwareType, &kProtocolType, &kHardwareSize, &kProtocolSize, &kOpcode, &kSenderMac, &kSenderIp,
    &kTargetMac, &kTargetIp};
const FieldRegistration kRegistration(kFields);

const char* OperationSuffix(std::uint16_t operation) {
  switch (operation) {
    case 1: return " (ARP request)";
    case 2: return " (ARP response)";
    case 3: return " (RARP request)";
    case 4: return " (RARP response)";
    case 5: return " (Dynamic RARP request)";
    case 6: return " (Dynamic RARP reply)";
    case 7: return " (Dynamic RARP error)";
    case 8: return " (InARP request)";
    case 9: return " (InARP reply)";
    default: return "";
  }
}

void AddMacLine(PacketDecoder& d, NodeId layer, const FieldInfo& f, const char* label, std::uint32_t at) {
  if (const std::uint8_t* m = d.Bytes(at, 6)) {
    d.AddAddress(layer, f, at, Format("%s: %02x:%02x:%02x:%02x:%02x:%02x", label, m[0], m[1], m[2], m[3], m[4], m[5]));
  }
}

void AddIpLine(PacketDecoder& d, NodeId layer, const FieldInfo& f, const char* label, std::uint32_t at) {
  if (const std::uint8_t* a = d.Bytes(at, 4)) {
    d.AddAddress(layer, f, at,
                 Format("%s: %u.%u.%u.%u (0x %02x.%02x.%02x.%02x)", label, a[0], a[1], a[2], a[3], a[0], a[1], a[2],
                        a[3]));
  }
}

void DecodeAddressResolution(PacketDecoder& d, Protocol protocol) {
  const std::uint32_t h = d.offset;
  d.BeginLayer(protocol);

  if (d.IsTree()) {
    const NodeId layer = d.AddLayerLine(kArp, std::string(InfoOf(protocol).name), h, h + kBodyLength);
    d.AddUint(layer, kHardwareType, h, "Hardware type: %u (0x%04x)");
    d.AddUint(layer, kProtocolType, h + 2, "Protocol type: %u (0x%04x)");
    d.AddUint(layer, kHardwareSize, h + 4, "Hardware length: %u (0x%02x)");
    d.AddUint(layer, kProtocolSize, h + 5, "Protocol length: %u (0x%02x)");
    d.AddUint(layer, kOpcode, h + 6, [](std::uint32_t operation) {
      return Format("Operation: %u (0x%04x)%s", operation, operation,
                    OperationSuffix(static_cast<std::uint16_t>(operation)));
    });
    AddMacLine(d, layer, kSenderMac, "Source MAC", h + 8);
    AddIpLine(d, layer, kSenderIp, "Source IP", h + 14);
    AddMacLine(d, layer, kTargetMac, "Destination MAC", h + 18);
    AddIpLine(d, layer, kTargetIp, "Destination IP", h + 24);
  }

  // No inner protocol and no scripts: what follows the body (Ethernet
  // padding, usually) is a layer of its own.
  d.offset = h + kBodyLength;
  d.MarkUnsupported();
  d.offset = h;
}

}  // namespace

void DecodeArp(PacketDecoder& d) { DecodeAddressResolution(d, Protocol::Arp); }

void DecodeRarp(PacketDecoder& d) { DecodeAddressResolution(d, Protocol::Rarp); }

}  // namespace qv
