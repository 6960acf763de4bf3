#pragma once
#include "decode/packet_decoder.h"

namespace qv {

// The IEEE 802.2 LLC header of an IEEE 802.3 frame; dispatches on the DSAP.
void DecodeLlc(PacketDecoder& d);

}  // namespace qv
