#include "decode/icmp.h"

namespace qv {

void DecodeIcmp(PacketDecoder& d) {
  d.BeginLayer(Protocol::Icmp);
  d.AddLayerLine("ICMP");
}

}  // namespace qv
