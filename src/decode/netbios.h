#pragma once
#include "decode/packet_decoder.h"

namespace qv {

// A NetBIOS frame over LLC.
void DecodeNetbios(PacketDecoder& d);

}  // namespace qv
