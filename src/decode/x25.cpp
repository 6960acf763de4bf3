#include "decode/x25.h"

namespace qv {

void DecodeX25(PacketDecoder& d) {
  d.BeginLayer(Protocol::X25Plp);
  d.AddLayerLine("X.25 PLP");
}

}  // namespace qv
