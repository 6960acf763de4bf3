#include "decode/ntp.h"

namespace qv {

void DecodeNtp(PacketDecoder& d) { (void)d; }

}  // namespace qv
