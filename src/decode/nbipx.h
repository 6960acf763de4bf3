#pragma once
#include "decode/packet_decoder.h"

namespace qv {

// NetBIOS over IPX, connection-oriented header.
void DecodeNbipxConnection(PacketDecoder& d);

// NetBIOS over IPX, name service header.
void DecodeNbipxName(PacketDecoder& d);

}  // namespace qv
