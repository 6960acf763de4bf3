#include "decode/ipv6.h"

namespace qv {

// IPv6 is recognised and counted, but its header is not decoded: one bare
// layer line without a range, no row texts, no payload dispatch and no tail.
// The Ethernet tail sees this line as a next sibling and leaves the payload
// alone.
void DecodeIpv6(PacketDecoder& d) {
  d.BeginLayer(Protocol::Ipv6Recognised);
  d.AddLayerLine("IPv6");
}

}  // namespace qv
