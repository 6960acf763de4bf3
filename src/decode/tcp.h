#pragma once
#include "decode/packet_decoder.h"

namespace qv {

// A TCP header with its options; hands the conversation sample on.
void DecodeTcp(PacketDecoder& d);

}  // namespace qv
