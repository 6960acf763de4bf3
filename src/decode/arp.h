#pragma once
#include "decode/packet_decoder.h"

namespace qv {

// An ARP packet for IPv4 over Ethernet.
void DecodeArp(PacketDecoder& d);

// A RARP packet.
void DecodeRarp(PacketDecoder& d);

}  // namespace qv
