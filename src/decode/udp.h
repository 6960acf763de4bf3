#pragma once
#include "decode/packet_decoder.h"

namespace qv {

// A UDP header; hands the conversation sample on.
void DecodeUdp(PacketDecoder& d);

}  // namespace qv
