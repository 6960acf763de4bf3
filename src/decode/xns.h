#pragma once
#include "decode/packet_decoder.h"

namespace qv {

// Xerox Network Systems: named only.
void DecodeXns(PacketDecoder& d);

}  // namespace qv
