#include "decode/gre.h"

namespace qv {

void DecodeGre(PacketDecoder& d) { (void)d; }

}  // namespace qv
