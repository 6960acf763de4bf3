#include "decode/xns.h"

namespace qv {

// Only named and counted: the header is not decoded, and the rest of the
// frame gets no layer of its own.
void DecodeXns(PacketDecoder& d) {
  d.BeginLayer(Protocol::Xns);
  d.AddLayerLine("XNS");
}

}  // namespace qv
