#include "decode/vxlan.h"

namespace qv {

void DecodeVxlan(PacketDecoder& d) { (void)d; }

}  // namespace qv
