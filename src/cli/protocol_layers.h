#pragma once
// A frame's protocol layers as tshark's statistics see them.

#include <vector>

#include "decode/decode_tree.h"

namespace qv {

// The layer lines of a frame as tshark layers its protocols, in tree order.
// What follows ICMP or ICMPv6 is the datagram an error message quotes,
// which tshark decodes inside the ICMP layer, so it is no layer of the frame;
// SNAP is part of tshark's LLC layer and the extension headers
// ("ipv6.routing") are parts of its IPv6 layer.
std::vector<NodeId> ProtocolLayers(const DecodeTree& tree);

}  // namespace qv
