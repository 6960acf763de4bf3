#pragma once
#include "decode/packet_decoder.h"

namespace qv {

// An IPv4 header with its options; dispatches on the Protocol field.
void DecodeIpv4(PacketDecoder& d);

}  // namespace qv
