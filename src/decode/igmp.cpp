#include "decode/igmp.h"

namespace qv {

void DecodeIgmp(PacketDecoder& d) {
  d.BeginLayer(Protocol::Igmp);
  d.AddLayerLine("IGMP");
}

}  // namespace qv
