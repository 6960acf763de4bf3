#pragma once
#include "decode/packet_decoder.h"

namespace qv {

// An IPv6 header: named and counted.
void DecodeIpv6(PacketDecoder& d);

}  // namespace qv
