#include "decode/bpdu.h"

namespace qv {

void DecodeBpdu(PacketDecoder& d) {
  d.BeginLayer(Protocol::Bpdu);
  d.AddLayerLine("BPDU");
}

}  // namespace qv
