#pragma once
#include "decode/packet_decoder.h"

namespace qv {

// The 14-byte MAC header; Ethernet II or IEEE 802.3 by the type/length field.
void DecodeEthernet(PacketDecoder& d);

// " - Broadcast", " - Multicast" or "" for a destination address.
std::string_view AddressKindSuffix(const std::uint8_t* mac);

}  // namespace qv
