#pragma once
#include <cstdint>

#include "decode/packet_decoder.h"

namespace qv {

// A UDP header; hands the conversation sample on.
void DecodeUdp(PacketDecoder& d);

// The part TCP and UDP share: the ports at h and h+2 go into the row (each
// when captured) and, in summary mode, complete the frame's conversation
// sample, which is handed to the statistics when both ports were captured and
// dropped otherwise.
// With `handOver` false the completed sample is dropped instead (a tunnel's
// datagram, whose inner packet counts).
void ReportTransportPorts(PacketDecoder& d, std::uint32_t h, bool handOver = true);

}  // namespace qv
