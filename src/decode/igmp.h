#pragma once
#include "decode/packet_decoder.h"

namespace qv {

// An IGMP message, versions 1 to 3.
void DecodeIgmp(PacketDecoder& d);

}  // namespace qv
