#pragma once
#include "decode/ethernet.h"

namespace qv {

// An Ethernet frame carried by a tunnel (VXLAN, GRE bridging, an MPLS
// pseudowire). The row describes the frame inside, not the tunnel: the outer
// IP addresses and ports are dropped before the inner headers write their
// own, so an inner ARP frame shows no outer address and an inner ICMP packet
// no outer UDP port.
inline void DecodeTunnelledEthernet(PacketDecoder& d) {
  if (PacketSummary* row = d.summary) {
    row->hasSrcIp = false;
    row->hasDstIp = false;
    row->ipv6 = false;
    row->hasSrcPort = false;
    row->hasDstPort = false;
  }
  DecodeInnerEthernet(d);
}

}  // namespace qv
