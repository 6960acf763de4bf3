#pragma once
#include "decode/packet_decoder.h"

namespace qv {

// An NTP message (UDP port 123); control messages (mode 6) show their header.
void DecodeNtp(PacketDecoder& d);

}  // namespace qv
