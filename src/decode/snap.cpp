#include "decode/snap.h"

namespace qv {

void DecodeSnap(PacketDecoder& d) {
  d.BeginLayer(Protocol::Snap);
  d.AddLayerLine("IEEE SNAP");
}

}  // namespace qv
