#include "decode/dhcp.h"

namespace qv {

void DecodeDhcp(PacketDecoder& d) { (void)d; }

}  // namespace qv
