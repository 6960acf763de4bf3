#pragma once
#include "decode/packet_decoder.h"

namespace qv {

// A GRE header (IP protocol 47) and the protocol its type names.
void DecodeGre(PacketDecoder& d);

}  // namespace qv
