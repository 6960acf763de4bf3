#include "decode/ipv6.h"

namespace qv {

void DecodeIpv6(PacketDecoder& d) {
  d.BeginLayer(Protocol::Ipv6);
  d.AddLayerLine("IPv6");
}

}  // namespace qv
