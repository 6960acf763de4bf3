#include "decode/udp.h"

namespace qv {

void DecodeUdp(PacketDecoder& d) {
  d.BeginLayer(Protocol::Udp);
  d.AddLayerLine("UDP");
}

}  // namespace qv
