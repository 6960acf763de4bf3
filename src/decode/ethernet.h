#pragma once
#include "decode/packet_decoder.h"

namespace qv {

// The 14-byte MAC header; Ethernet II or IEEE 802.3 by the type/length field.
void DecodeEthernet(PacketDecoder& d);
// An Ethernet frame carried at `offset` inside a tunnel (VXLAN, GRE bridging,
// an MPLS pseudowire): decoded as the outer one, with a layer start of its
// own; its addresses replace the outer ones in the row.
void DecodeInnerEthernet(PacketDecoder& d);

struct EtherTypeEntry {
  std::uint16_t type;
  const char* suffix;  // " - IPv4"
  DecoderFn decoder;   // null: named but not decoded
  // The optional decoder that knows this type; Count_ for the classic ones.
  OptionalDecoder optional = OptionalDecoder::Count_;
};
// The named EtherTypes (also the protocol field of Linux cooked captures, and
// of the types inside VLAN tags); null for any other, and for the types of an
// optional decoder that is switched off.
const EtherTypeEntry* FindEtherType(std::uint16_t type, const PacketDecoder& d);

// Decodes the payload at `at` by its EtherType: dispatched to the type's
// decoder (an optional one after the scripts had their first claim on the
// bytes after `offset` + `headerLength`, under `parentName`), or marked
// unsupported from `at` on.
void DispatchEtherType(PacketDecoder& d, std::uint16_t type, std::uint32_t headerLength, std::string_view parentName);

// " - Broadcast", " - Multicast" or "" for a destination address.
std::string_view AddressKindSuffix(const std::uint8_t* mac);

}  // namespace qv
