#pragma once
#include "decode/packet_decoder.h"

namespace qv {

// An ICMP message; error messages decode the IP header they quote.
void DecodeIcmp(PacketDecoder& d);

}  // namespace qv
