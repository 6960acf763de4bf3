#include "decode/mpls.h"

namespace qv {

void DecodeMpls(PacketDecoder& d) { (void)d; }

}  // namespace qv
