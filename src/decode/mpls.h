#pragma once
#include "decode/packet_decoder.h"

namespace qv {

// An MPLS label stack (EtherTypes 0x8847, 0x8848); after the bottom label IPv4, IPv6 or a pseudowire control word and Ethernet.
void DecodeMpls(PacketDecoder& d);

}  // namespace qv
