#pragma once
#include "decode/packet_decoder.h"

namespace qv {

// PPPoE discovery (EtherType 0x8863): code, session id and tags.
void DecodePppoeDiscovery(PacketDecoder& d);
// PPPoE session (EtherType 0x8864), then PPP and the protocol it names.
void DecodePppoeSession(PacketDecoder& d);
// A PPP frame: the HDLC-like address and control bytes when present (PPTP's
// GRE carries them, PPPoE does not), the protocol field, then IPv4, IPv6,
// MPLS, the header of a control protocol, or the payload shown as data.
void DecodePpp(PacketDecoder& d);

}  // namespace qv
