#pragma once
#include "decode/packet_decoder.h"

namespace qv {

// A Novell IPX header; dispatches on the destination socket.
void DecodeIpx(PacketDecoder& d);

}  // namespace qv
