#include "decode/nbipx.h"

namespace qv {

void DecodeNbipxConnection(PacketDecoder& d) {
  d.BeginLayer(Protocol::Nbipx);
  d.AddLayerLine("NBIPX");
}

void DecodeNbipxName(PacketDecoder& d) {
  d.BeginLayer(Protocol::Nbipx);
  d.AddLayerLine("NBIPX");
}

}  // namespace qv
