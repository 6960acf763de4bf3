#pragma once
#include "decode/packet_decoder.h"

namespace qv {

// An ICMPv6 message (next header 58): errors with the quoted datagram, echo, neighbour discovery with its options, MLD.
void DecodeIcmpv6(PacketDecoder& d);

}  // namespace qv
