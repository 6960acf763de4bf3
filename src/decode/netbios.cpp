#include "decode/netbios.h"

namespace qv {

void DecodeNetbios(PacketDecoder& d) {
  d.BeginLayer(Protocol::NetBios);
  d.AddLayerLine("NetBIOS");
}

}  // namespace qv
