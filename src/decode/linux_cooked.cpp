#include "decode/linux_cooked.h"

#include <algorithm>

#include "decode/ethernet.h"
#include "decode/ipx.h"
#include "decode/link_types.h"
#include "decode/llc.h"
#include "decode/text_format.h"

namespace qv {

namespace {

// The header's fields. Version 2 narrows the packet type and the address
// length to one byte each, so they are fields of their own there.
constexpr FieldInfo kProto{"sll", "Linux cooked-mode capture", FieldType::Protocol};
constexpr FieldInfo kPacketType{"sll.pkttype", "Packet type", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kPacketTypeV2{"sll.v2.pkttype", "Packet type", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kHatype{"sll.hatype", "Link-layer address type", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kHalen{"sll.halen", "Link-layer address length", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kHalenV2{"sll.v2.halen", "Link-layer address length", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kSrcEth{"sll.src.eth", "Source", FieldType::Mac};
constexpr FieldInfo kSrcIpv4{"sll.src.ipv4", "Source", FieldType::Ipv4};
constexpr FieldInfo kSrcOther{"sll.src.other", "Source", FieldType::Bytes};
constexpr FieldInfo kUnused{"sll.unused", "Unused", FieldType::Bytes};
// The protocol field is named by what kind of number it holds.
constexpr FieldInfo kEtype{"sll.etype", "Protocol", FieldType::UInt16, FieldBase::Hex};
constexpr FieldInfo kLtype{"sll.ltype", "Protocol", FieldType::UInt16, FieldBase::Hex};
constexpr FieldInfo kGretype{"sll.gretype", "Protocol", FieldType::UInt16, FieldBase::Hex};
constexpr FieldInfo kIfindex{"sll.ifindex", "Interface index", FieldType::UInt32, FieldBase::Dec};
constexpr const FieldInfo* kFields[] = {&kProto, &kPacketType, &kPacketTypeV2, &kHatype, &kHalen, &kHalenV2, &kSrcEth,
                                        &kSrcIpv4, &kSrcOther, &kUnused, &kEtype, &kLtype, &kGretype, &kIfindex};
const FieldRegistration kRegistration(kFields);

// Where the fields lie in the two versions of the header. The link-layer
// address field is always 8 bytes; its length field says how many are used.
struct CookedLayout {
  const char* title;
  std::uint32_t headerLength;
  std::uint32_t packetType;
  const FieldInfo& packetTypeField;
  std::uint32_t arphrd;
  std::uint32_t addressLength;
  const FieldInfo& addressLengthField;
  std::uint32_t address;
  std::uint32_t protocol;
  std::optional<std::uint32_t> interfaceIndex;  // v2 only
};

constexpr std::uint32_t kAddressField = 8;

const CookedLayout kV1{"Linux cooked capture", 16, 0, kPacketType, 2, 4, kHalen, 6, 14, std::nullopt};
const CookedLayout kV2{"Linux cooked capture v2", 20, 10, kPacketTypeV2, 8, 11, kHalenV2, 12, 0, 4};

// The packet types of the kernel's sockaddr_ll.
constexpr std::uint32_t kToUs = 0;
constexpr std::uint32_t kBroadcast = 1;
constexpr std::uint32_t kMulticast = 2;

const char* PacketTypeSuffix(std::uint32_t type) {
  switch (type) {
    case kToUs:
      return " - To us";
    case kBroadcast:
      return " - Broadcast";
    case kMulticast:
      return " - Multicast";
    case 3:
      return " - To another host";
    case 4:
      return " - Sent by us";
    default:
      return "";
  }
}

struct ArphrdName {
  std::uint16_t type;
  const char* suffix;
};
// The hardware types most often seen in cooked captures.
constexpr ArphrdName kArphrdNames[] = {
    {1, " - Ethernet"},     {24, " - IEEE 1394"},  {32, " - InfiniBand"}, {280, " - CAN"},
    {512, " - PPP"},        {768, " - IPIP tunnel"}, {769, " - IPv6 tunnel"}, {772, " - Loopback"},
    {776, " - SIT tunnel"}, {778, " - GRE tunnel"},  {801, " - IEEE 802.11"}, {803, " - IEEE 802.11 radiotap"},
    {824, " - Netlink"},    {65534, " - None"},     {65535, " - Void"},
};

const char* ArphrdSuffix(std::uint32_t type) {
  for (const ArphrdName& n : kArphrdNames) {
    if (n.type == type) return n.suffix;
  }
  return "";
}

// Protocol values that are not EtherTypes: the frame carries the 802.2 or
// Novell 802.3 payload as it was.
constexpr std::uint16_t kProtocol8023 = 0x0001;
constexpr std::uint16_t kProtocol8022 = 0x0004;
// Numbers up to this one are the kernel's own protocol numbers, not EtherTypes.
constexpr std::uint16_t kLastLinuxProtocol = 0x0600;
// A GRE tunnel device puts the GRE protocol type there.
constexpr std::uint16_t kArphrdIpGre = 778;

const FieldInfo& ProtocolField(std::optional<std::uint16_t> arphrd, std::uint16_t protocol) {
  if (arphrd == kArphrdIpGre) return kGretype;
  return protocol <= kLastLinuxProtocol ? kLtype : kEtype;
}

// The used bytes of the address field, by how many there are.
const FieldInfo& AddressField(std::uint32_t used) {
  switch (used) {
    case 6: return kSrcEth;
    case 4: return kSrcIpv4;
    default: return kSrcOther;
  }
}

std::string AddressText(const std::uint8_t* bytes, std::uint32_t length) {
  std::string out;
  for (std::uint32_t i = 0; i < length; ++i) {
    if (i != 0) out += ':';
    out += Format("%02X", bytes[i]);
  }
  return out;
}

void DecodeCooked(PacketDecoder& d, const CookedLayout& l) {
  d.offset = 0;
  d.parentItem = kRootNode;
  const NodeId layer = d.AddLayerLine(kProto, l.title, 0, l.headerLength);
  d.ReportProtocol(Protocol::LinuxCooked);

  // Fields in the order in which they lie in the header.
  std::optional<std::uint32_t> protocol;
  auto addProtocol = [&] {
    const std::optional<std::uint16_t> value = d.U16(l.protocol);
    if (!value) return;
    protocol = d.AddUint(layer, ProtocolField(d.U16(l.arphrd), *value), l.protocol, [&d](std::uint32_t p) {
      const char* suffix = "";
      if (p == kProtocol8022) {
        suffix = " - IEEE 802.2 LLC";
      } else if (p == kProtocol8023) {
        suffix = " - Novell 802.3";
      } else if (const EtherTypeEntry* e = FindEtherType(static_cast<std::uint16_t>(p), d)) {
        suffix = e->suffix;
      }
      return Format("Protocol: 0x%04x%s", p, suffix);
    }).value;
  };
  if (l.protocol < l.packetType) addProtocol();
  if (l.interfaceIndex) d.AddUint(layer, kIfindex, *l.interfaceIndex, "Interface index: %u (0x%08x)");
  // Numbers are shown in hexadecimal as wide as their field.
  const bool narrow = FieldWidth(l.packetTypeField) == 1;
  auto addPacketType = [&] {
    return d.AddUint(layer, l.packetTypeField, l.packetType, [&](std::uint32_t t) {
      return narrow ? Format("Packet type: %u (0x%02x)%s", t, t, PacketTypeSuffix(t))
                    : Format("Packet type: %u (0x%04x)%s", t, t, PacketTypeSuffix(t));
    }).value;
  };
  auto addArphrd = [&] {
    d.AddUint(layer, kHatype, l.arphrd,
              [](std::uint32_t t) { return Format("ARPHRD type: %u (0x%04x)%s", t, t, ArphrdSuffix(t)); });
  };
  // v1 puts the packet type first, v2 the hardware type.
  std::optional<std::uint32_t> packetType;
  if (l.packetType < l.arphrd) {
    packetType = addPacketType();
    addArphrd();
  } else {
    addArphrd();
    packetType = addPacketType();
  }
  const std::optional<std::uint32_t> addressLength =
      d.AddUint(layer, l.addressLengthField, l.addressLength, narrow ? "Address length: %u (0x%02x)"
                                                                    : "Address length: %u (0x%04x)")
          .value;
  const std::uint32_t used = addressLength ? std::min(*addressLength, kAddressField) : 0;
  const std::uint8_t* address = addressLength ? d.Bytes(l.address, used) : nullptr;
  if (d.IsTree() && addressLength) {
    if (used == 0) {
      // No address: the whole field is unused.
      if (d.Has(l.address, kAddressField)) {
        d.AddFieldLine(layer, kUnused, "Link-layer address: none", l.address, l.address + kAddressField);
      }
    } else if (address != nullptr) {
      d.AddFieldLine(layer, AddressField(used), "Link-layer address: " + AddressText(address, used), l.address,
                     l.address + used);
    }
  }
  if (l.protocol > l.packetType) addProtocol();

  if (PacketSummary* row = d.summary) {
    // The address is the sender's, for frames to us and for frames sent by us.
    if (address != nullptr && used == 6) {
      std::copy(address, address + 6, row->srcMac.begin());
      row->hasSrcMac = true;
    }
    if (packetType == kBroadcast) row->dstLabel = DestinationLabel::Broadcast;
    if (packetType == kMulticast) row->dstLabel = DestinationLabel::Multicast;
  }

  if (protocol) {
    DecoderFn next = nullptr;
    if (*protocol == kProtocol8022) {
      next = DecodeLlc;
    } else if (*protocol == kProtocol8023) {
      next = DecodeIpx;
    } else if (const EtherTypeEntry* e = FindEtherType(static_cast<std::uint16_t>(*protocol), d)) {
      next = e->decoder;
    }
    DispatchPayload(d, next, l.headerLength);
  }
  FinishLinkLayer(d, layer, l.headerLength);
}

}  // namespace

void DecodeLinuxCooked(PacketDecoder& d) { DecodeCooked(d, kV1); }
void DecodeLinuxCookedV2(PacketDecoder& d) { DecodeCooked(d, kV2); }

}  // namespace qv
