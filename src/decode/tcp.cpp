#include "decode/tcp.h"

namespace qv {

void DecodeTcp(PacketDecoder& d) {
  d.BeginLayer(Protocol::Tcp);
  d.AddLayerLine("TCP");
}

}  // namespace qv
