#include "decode/dhcpv6.h"

namespace qv {

void DecodeDhcpv6(PacketDecoder& d) { (void)d; }

}  // namespace qv
