#pragma once
#include "decode/packet_decoder.h"

namespace qv {

// BSD loopback captures: a 4-byte address family before the network header,
// in the byte order of the machine that wrote the file (link type 0) or in
// network byte order (link type 108).
void DecodeNullLoopback(PacketDecoder& d);
void DecodeLoopLoopback(PacketDecoder& d);

}  // namespace qv
