#pragma once
#include "decode/packet_decoder.h"

namespace qv {

// 802.1Q and 802.1ad tags (EtherTypes 0x8100, 0x88a8, 0x9100), stacked to any depth; then the next EtherType, or an
// 802.3 length and LLC. The tag's kind is read from the EtherType in the two bytes before it.
void DecodeVlan(PacketDecoder& d);
// The same where the type that named the tag does not stand right before it
// (GRE, whose optional fields follow its protocol type).
void DecodeCustomerVlan(PacketDecoder& d);  // 802.1Q (0x8100, 0x9100)
void DecodeProviderVlan(PacketDecoder& d);  // 802.1ad (0x88a8)

}  // namespace qv
