#include "decode/smb.h"

namespace qv {

void DecodeSmb(PacketDecoder& d) {
  d.BeginLayer(Protocol::Smb);
  d.AddLayerLine("SMB");
}

}  // namespace qv
