#pragma once
#include "decode/packet_decoder.h"

namespace qv {

// An IPv6 header, its extension headers and the protocol after them. With the
// IPv6 decoder switched off, the header is only named and counted.
void DecodeIpv6(PacketDecoder& d);

}  // namespace qv
