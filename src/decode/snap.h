#pragma once
#include "decode/packet_decoder.h"

namespace qv {

// The 5-byte SNAP header after an LLC header with the SNAP SAP.
void DecodeSnap(PacketDecoder& d);

}  // namespace qv
