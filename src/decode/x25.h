#pragma once
#include "decode/packet_decoder.h"

namespace qv {

// The X.25 packet layer protocol: named only.
void DecodeX25(PacketDecoder& d);

}  // namespace qv
