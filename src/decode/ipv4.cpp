#include "decode/ipv4.h"

namespace qv {

void DecodeIpv4(PacketDecoder& d) {
  d.BeginLayer(Protocol::Ipv4);
  d.AddLayerLine("IPv4");
}

}  // namespace qv
