#include "decode/linux_cooked.h"

#include <algorithm>

#include "decode/ethernet.h"
#include "decode/ipx.h"
#include "decode/link_types.h"
#include "decode/llc.h"
#include "decode/text_format.h"

namespace qv {

namespace {

// Where the fields lie in the two versions of the header. The link-layer
// address field is always 8 bytes; its length field says how many are used.
struct CookedLayout {
  const char* title;
  std::uint32_t headerLength;
  std::uint32_t packetType, packetTypeWidth;
  std::uint32_t arphrd;
  std::uint32_t addressLength, addressLengthWidth;
  std::uint32_t address;
  std::uint32_t protocol;
  std::optional<std::uint32_t> interfaceIndex;  // v2 only
};

constexpr std::uint32_t kAddressField = 8;

const CookedLayout kV1{"Linux cooked capture", 16, 0, 2, 2, 4, 2, 6, 14, std::nullopt};
const CookedLayout kV2{"Linux cooked capture v2", 20, 10, 1, 8, 11, 1, 12, 0, 4};

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
  const NodeId layer = d.AddLayerLine(l.title, 0, l.headerLength);
  d.ReportProtocol(Protocol::LinuxCooked);

  // Fields in the order in which they lie in the header.
  std::optional<std::uint32_t> protocol;
  auto addProtocol = [&] {
    protocol = AddField(d, layer, l.protocol, 2, [&d](std::uint32_t p) {
      const char* suffix = "";
      if (p == kProtocol8022) {
        suffix = " - IEEE 802.2 LLC";
      } else if (p == kProtocol8023) {
        suffix = " - Novell 802.3";
      } else if (const EtherTypeEntry* e = FindEtherType(static_cast<std::uint16_t>(p), d)) {
        suffix = e->suffix;
      }
      return Format("Protocol: 0x%04x%s", p, suffix);
    });
  };
  if (l.protocol < l.packetType) addProtocol();
  if (l.interfaceIndex) {
    AddField(d, layer, *l.interfaceIndex, 4,
             [](std::uint32_t i) { return Format("Interface index: %u (0x%08x)", i, i); });
  }
  // Numbers are shown in hexadecimal as wide as their field.
  const bool narrow = l.packetTypeWidth == 1;
  auto addPacketType = [&] {
    return AddField(d, layer, l.packetType, l.packetTypeWidth, [&](std::uint32_t t) {
      return narrow ? Format("Packet type: %u (0x%02x)%s", t, t, PacketTypeSuffix(t))
                    : Format("Packet type: %u (0x%04x)%s", t, t, PacketTypeSuffix(t));
    });
  };
  auto addArphrd = [&] {
    AddField(d, layer, l.arphrd, 2,
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
      AddField(d, layer, l.addressLength, l.addressLengthWidth, [&](std::uint32_t n) {
        return narrow ? Format("Address length: %u (0x%02x)", n, n) : Format("Address length: %u (0x%04x)", n, n);
      });
  const std::uint32_t used = addressLength ? std::min(*addressLength, kAddressField) : 0;
  const std::uint8_t* address = addressLength ? d.Bytes(l.address, used) : nullptr;
  if (d.IsTree() && addressLength) {
    if (used == 0) {
      if (d.Has(l.address, kAddressField)) {
        d.AddLine(layer, "Link-layer address: none", l.address, l.address + kAddressField);
      }
    } else if (address != nullptr) {
      d.AddLine(layer, "Link-layer address: " + AddressText(address, used), l.address, l.address + used);
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
