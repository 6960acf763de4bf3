#pragma once
#include "decode/packet_decoder.h"

namespace qv {

// A link type without a decoder: one line that names it, and the whole frame
// marked as unsupported data.
void DecodeOtherLinkType(PacketDecoder& d);

}  // namespace qv
