#pragma once
#include "decode/packet_decoder.h"

namespace qv {

// An SMB header.
void DecodeSmb(PacketDecoder& d);

}  // namespace qv
