#pragma once
#include "decode/packet_decoder.h"

namespace qv {

// The Linux cooked header that libpcap writes for captures on "any" and on
// adapters without a link-layer header of their own: 16 bytes (v1) or 20
// bytes (v2). Its protocol field dispatches like an EtherType.
void DecodeLinuxCooked(PacketDecoder& d);
void DecodeLinuxCookedV2(PacketDecoder& d);

}  // namespace qv
