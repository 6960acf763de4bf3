#include "decode/vlan.h"

namespace qv {

void DecodeVlan(PacketDecoder& d) { (void)d; }

}  // namespace qv
