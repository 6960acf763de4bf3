#pragma once
#include "decode/packet_decoder.h"

namespace qv {

// A DNS message at `offset` (UDP port 53), with its questions and records.
void DecodeDns(PacketDecoder& d);
// The same message format on the multicast DNS port (5353) and on LLMNR's (5355).
void DecodeMdns(PacketDecoder& d);
void DecodeLlmnr(PacketDecoder& d);
// DNS over TCP (port 53): each message after its 2-byte length.
void DecodeDnsOverTcp(PacketDecoder& d);

}  // namespace qv
