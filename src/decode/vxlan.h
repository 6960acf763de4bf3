#pragma once
#include "decode/packet_decoder.h"

namespace qv {

// A VXLAN header (UDP port 4789) and the Ethernet frame inside it.
void DecodeVxlan(PacketDecoder& d);

}  // namespace qv
