#include "decode/xns.h"

namespace qv {

void DecodeXns(PacketDecoder& d) {
  d.BeginLayer(Protocol::Xns);
  d.AddLayerLine("XNS");
}

}  // namespace qv
