#include "decode/ethernet.h"

#include <algorithm>

#include "decode/arp.h"
#include "decode/mpls.h"
#include "decode/pppoe.h"
#include "decode/vlan.h"
#include "decode/ipv4.h"
#include "decode/ipv6.h"
#include "decode/ipx.h"
#include "decode/llc.h"
#include "decode/text_format.h"

namespace qv {

namespace {

constexpr std::uint32_t kHeaderLength = 14;
constexpr std::uint16_t kMaxIeee8023Length = 1500;

constexpr FieldInfo kEth{"eth", "Ethernet", FieldType::Protocol};
constexpr FieldInfo kDst{"eth.dst", "Destination", FieldType::Mac};
constexpr FieldInfo kSrc{"eth.src", "Source", FieldType::Mac};
constexpr FieldInfo kLength{"eth.len", "Length", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kType{"eth.type", "Type", FieldType::UInt16, FieldBase::Hex};
constexpr const FieldInfo* kFields[] = {&kEth, &kDst, &kSrc, &kLength, &kType};
const FieldRegistration kRegistration(kFields);

// EtherTypes with a name; those with a decoder are dispatched to it.
constexpr EtherTypeEntry kEtherTypes[] = {
    {0x0800, " - IPv4", DecodeIpv4},
    {0x86DD, " - IPv6", DecodeIpv6},
    {0x0806, " - ARP", DecodeArp},
    {0x8035, " - RARP", DecodeRarp},
    {0x8137, " - IPX", DecodeIpx},
    {0x9000, " - Loopback (Configuration Test Protocol)", nullptr},
    {0x8100, " - 802.1Q Virtual LAN", DecodeVlan, OptionalDecoder::Vlan},
    {0x88A8, " - 802.1ad Provider Bridging", DecodeVlan, OptionalDecoder::Vlan},
    {0x9100, " - 802.1Q Virtual LAN (QinQ)", DecodeVlan, OptionalDecoder::Vlan},
    {0x8847, " - MPLS unicast", DecodeMpls, OptionalDecoder::Mpls},
    {0x8848, " - MPLS multicast", DecodeMpls, OptionalDecoder::Mpls},
    {0x8863, " - PPPoE Discovery", DecodePppoeDiscovery, OptionalDecoder::Pppoe},
    {0x8864, " - PPPoE Session", DecodePppoeSession, OptionalDecoder::Pppoe},
};

}  // namespace

const EtherTypeEntry* FindEtherType(std::uint16_t type, const PacketDecoder& d) {
  for (const auto& e : kEtherTypes) {
    if (e.type != type) continue;
    if (e.optional != OptionalDecoder::Count_ && !d.IsOn(e.optional)) return nullptr;
    return &e;
  }
  return nullptr;
}

void DispatchEtherType(PacketDecoder& d, std::uint16_t type, std::uint32_t headerLength,
                       std::string_view parentName) {
  const std::uint32_t at = d.offset + headerLength;
  const EtherTypeEntry* e = FindEtherType(type, d);
  if (e != nullptr && e->decoder != nullptr) {
    if (e->optional == OptionalDecoder::Count_) {
      d.Dispatch(e->decoder, at);
    } else {
      d.DispatchOptional(e->optional, e->decoder, headerLength, parentName);
    }
    return;
  }
  const std::uint32_t saved = d.offset;
  d.offset = at;
  d.MarkUnsupported();
  d.offset = saved;
}

namespace {

std::string MacLine(const char* label, const std::uint8_t* mac) {
  return Format("%s: %02X:%02X:%02X:%02X:%02X:%02X", label, mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
}

}  // namespace

std::string_view AddressKindSuffix(const std::uint8_t* mac) {
  bool broadcast = true;
  for (int i = 0; i < 6; ++i) broadcast = broadcast && mac[i] == 0xFF;
  if (broadcast) return " - Broadcast";
  if (mac[0] & 0x01) return " - Multicast";
  return "";
}

namespace {

// The MAC header at `offset`: the frame's own, or one carried inside a tunnel
// (VXLAN, GRE bridging, an MPLS pseudowire). Like the IP columns, the MAC
// columns show the innermost frame's addresses.
void DecodeMacHeader(PacketDecoder& d, bool outermost) {
  const std::uint32_t h = d.offset;
  const std::uint8_t* dst = d.Bytes(h, 6);
  const std::uint8_t* src = d.Bytes(h + 6, 6);
  const std::optional<std::uint16_t> typeOrLength = d.U16(h + 12);

  if (PacketSummary* row = d.summary) {
    if (src != nullptr) {
      std::copy(src, src + 6, row->srcMac.begin());
      row->hasSrcMac = true;
    }
    if (dst != nullptr) {
      std::copy(dst, dst + 6, row->dstMac.begin());
      row->hasDstMac = true;
    }
  }
  // Without the type/length field the framing is unknown: nothing to decode.
  if (!typeOrLength) return;
  const std::uint16_t t = *typeOrLength;
  const bool ieee8023 = t <= kMaxIeee8023Length;

  NodeId layer = kNoNode;
  if (d.IsTree()) {
    // The type/length field was captured, so both addresses were too.
    layer = d.AddLayerLine(kEth, ieee8023 ? "IEEE 802.2" : "Ethernet II", h, h + kHeaderLength);
    std::string dstText = MacLine("Destination MAC", dst);
    dstText += AddressKindSuffix(dst);
    d.AddAddress(layer, kDst, h, std::move(dstText));
    d.AddAddress(layer, kSrc, h + 6, MacLine("Source MAC", src));
    if (ieee8023) {
      d.AddUint(layer, kLength, h + 12, "Length: %u (0x%02X)");
    } else {
      d.AddUint(layer, kType, h + 12, [&d](std::uint32_t type) {
        const EtherTypeEntry* e = FindEtherType(static_cast<std::uint16_t>(type), d);
        return Format("Type: 0x%04x%s", type, e != nullptr ? e->suffix : "");
      });
    }
  }
  // The outermost Ethernet header is the first coloured segment: it is
  // counted but adds no layer start of its own.
  if (outermost) {
    d.ReportProtocol(ieee8023 ? Protocol::Ieee8022 : Protocol::EthernetII);
  } else {
    d.BeginLayer(ieee8023 ? Protocol::Ieee8022 : Protocol::EthernetII);
  }

  if (ieee8023) {
    d.Dispatch(DecodeLlc, h + kHeaderLength);
  } else {
    DispatchEtherType(d, t, kHeaderLength, "eth");
  }
  d.FinishLayer(layer, kHeaderLength, "eth");
}

}  // namespace

void DecodeEthernet(PacketDecoder& d) {
  if (d.LinkType() != kLinkTypeEthernet) return;

  d.offset = 0;
  d.parentItem = kRootNode;
  DecodeMacHeader(d, true);
}

void DecodeInnerEthernet(PacketDecoder& d) { DecodeMacHeader(d, false); }

}  // namespace qv
