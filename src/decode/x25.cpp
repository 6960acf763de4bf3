#include "decode/x25.h"

namespace qv {

// Only named and counted: the packet layer is not decoded, and the rest of
// the frame gets no layer of its own.
void DecodeX25(PacketDecoder& d) {
  d.BeginLayer(Protocol::X25Plp);
  d.AddLayerLine("X.25 PLP");
}

}  // namespace qv
