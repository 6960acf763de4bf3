#pragma once
#include "decode/packet_decoder.h"

namespace qv {

// Captures without a link-layer header (tun devices, VPNs): the frame starts
// with the IP header. Raw IP chooses IPv4 or IPv6 by the version nibble; the
// IPv4 link type carries IPv4 only.
void DecodeRawIp(PacketDecoder& d);
void DecodeRawIpv4(PacketDecoder& d);

}  // namespace qv
