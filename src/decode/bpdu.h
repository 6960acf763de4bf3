#pragma once
#include "decode/packet_decoder.h"

namespace qv {

// A spanning tree bridge protocol data unit.
void DecodeBpdu(PacketDecoder& d);

}  // namespace qv
