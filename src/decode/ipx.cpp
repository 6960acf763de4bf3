#include "decode/ipx.h"

namespace qv {

void DecodeIpx(PacketDecoder& d) {
  d.BeginLayer(Protocol::Ipx);
  d.AddLayerLine("IPX");
}

}  // namespace qv
