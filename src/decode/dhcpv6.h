#pragma once
#include "decode/packet_decoder.h"

namespace qv {

// A DHCPv6 message (UDP ports 546 and 547) with its options; relay messages nest.
void DecodeDhcpv6(PacketDecoder& d);

}  // namespace qv
