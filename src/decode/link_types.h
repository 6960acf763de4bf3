#pragma once
// The link layers a capture may begin with, by the capture library's link
// type numbers, and what the decoders for them share.

#include <cstdint>
#include <string>

#include "decode/packet_decoder.h"

namespace qv {

inline constexpr int kLinkTypeNull = 0;         // BSD loopback, address family in the writer's byte order
inline constexpr int kLinkTypeRaw = 101;        // raw IP, version in the first nibble
inline constexpr int kLinkTypeRawBsdOs = 12;    // raw IP, as OpenBSD numbers it
inline constexpr int kLinkTypeRawBsd = 14;      // raw IP, as BSD/OS numbers it
inline constexpr int kLinkTypeLoop = 108;       // BSD loopback, address family in network byte order
inline constexpr int kLinkTypeLinuxSll = 113;   // Linux cooked capture ("any")
inline constexpr int kLinkTypeIpv4 = 228;       // raw IPv4 only
inline constexpr int kLinkTypeLinuxSll2 = 276;  // Linux cooked capture, version 2

// The decoder that opens a run for frames of this link type; link types
// without a decoder of their own get one line that names them.
DecoderFn LinkLayerDecoder(int linkType);

// The capture library's description of a link type ("Linux cooked v1"),
// or "unknown".
std::string LinkTypeDescription(int linkType);

// Hands the payload after a link-layer header of `headerLength` bytes to
// `next`; without a decoder the payload is marked unsupported, as the
// Ethernet decoder does for an unknown EtherType.
void DispatchPayload(PacketDecoder& d, DecoderFn next, std::uint32_t headerLength);

// The tail of a link layer that the scripts are not offered (only Ethernet
// frames are): when no inner decoder added a layer, the bytes after the
// header are marked unsupported.
void FinishLinkLayer(PacketDecoder& d, NodeId layerLine, std::uint32_t headerLength);

}  // namespace qv
