#include "decode/icmpv6.h"

namespace qv {

void DecodeIcmpv6(PacketDecoder& d) { (void)d; }

}  // namespace qv
