#pragma once
#include "decode/packet_decoder.h"

namespace qv {

// The 14-byte MAC header; Ethernet II or IEEE 802.3 by the type/length field.
void DecodeEthernet(PacketDecoder& d);

struct EtherTypeEntry {
  std::uint16_t type;
  const char* suffix;  // " - IPv4"
  DecoderFn decoder;   // null: named but not decoded
};
// The named EtherTypes (also the protocol field of Linux cooked captures);
// null for any other.
const EtherTypeEntry* FindEtherType(std::uint16_t type);

// " - Broadcast", " - Multicast" or "" for a destination address.
std::string_view AddressKindSuffix(const std::uint8_t* mac);

}  // namespace qv
