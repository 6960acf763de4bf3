#pragma once
#include "decode/packet_decoder.h"

namespace qv {

// A DHCP or BOOTP message (UDP ports 67 and 68): the BOOTP header, the magic cookie and the options.
void DecodeDhcp(PacketDecoder& d);

}  // namespace qv
