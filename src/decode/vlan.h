#pragma once
#include "decode/packet_decoder.h"

namespace qv {

// 802.1Q and 802.1ad tags (EtherTypes 0x8100, 0x88a8, 0x9100), stacked to any depth; then the next EtherType, or an 802.3 length and LLC.
void DecodeVlan(PacketDecoder& d);

}  // namespace qv
