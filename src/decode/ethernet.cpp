#include "decode/ethernet.h"

#include <algorithm>

#include "decode/arp.h"
#include "decode/ipv4.h"
#include "decode/ipv6.h"
#include "decode/ipx.h"
#include "decode/llc.h"
#include "decode/text_format.h"

namespace qv {

namespace {

constexpr std::uint32_t kHeaderLength = 14;
constexpr std::uint16_t kMaxIeee8023Length = 1500;

// EtherTypes with a name; those with a decoder are dispatched to it.
constexpr EtherTypeEntry kEtherTypes[] = {
    {0x0800, " - IPv4", DecodeIpv4},
    {0x86DD, " - IPv6", DecodeIpv6},
    {0x0806, " - ARP", DecodeArp},
    {0x8035, " - RARP", DecodeRarp},
    {0x8137, " - IPX", DecodeIpx},
    {0x9000, " - Loopback (Configuration Test Protocol)", nullptr},
};

}  // namespace

const EtherTypeEntry* FindEtherType(std::uint16_t type) {
  for (const auto& e : kEtherTypes) {
    if (e.type == type) return &e;
  }
  return nullptr;
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

void DecodeEthernet(PacketDecoder& d) {
  if (d.IsTree()) {
    d.Tree()->Clear();
  }
  if (d.LinkType() != kLinkTypeEthernet) return;

  d.offset = 0;
  d.parentItem = kRootNode;
  const std::uint8_t* dst = d.Bytes(0, 6);
  const std::uint8_t* src = d.Bytes(6, 6);
  const std::optional<std::uint16_t> typeOrLength = d.U16(12);

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
    layer = d.AddLayerLine(ieee8023 ? "IEEE 802.2" : "Ethernet II", 0, kHeaderLength);
    NodeId dstLine = d.AddLine(layer, MacLine("Destination MAC", dst), 0, 6);
    d.AppendText(dstLine, AddressKindSuffix(dst));
    d.AddLine(layer, MacLine("Source MAC", src), 6, 12);
    if (ieee8023) {
      d.AddLine(layer, Format("Length: %u (0x%02X)", t, t), 12, 14);
    } else {
      const EtherTypeEntry* e = FindEtherType(t);
      d.AddLine(layer, Format("Type: 0x%04x%s", t, e != nullptr ? e->suffix : ""), 12, 14);
    }
  }
  // The Ethernet header is the first coloured segment: it is counted but adds
  // no layer start of its own.
  d.ReportProtocol(ieee8023 ? Protocol::Ieee8022 : Protocol::EthernetII);

  if (ieee8023) {
    d.Dispatch(DecodeLlc, kHeaderLength);
  } else {
    const EtherTypeEntry* e = FindEtherType(t);
    if (e != nullptr && e->decoder != nullptr) {
      d.Dispatch(e->decoder, kHeaderLength);
    } else {
      d.offset = kHeaderLength;
      d.MarkUnsupported();
      d.offset = 0;
    }
  }
  d.FinishLayer(layer, kHeaderLength, "eth");
}

}  // namespace qv
