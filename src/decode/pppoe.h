#pragma once
#include "decode/packet_decoder.h"

namespace qv {

// PPPoE discovery (EtherType 0x8863): code, session id and tags.
void DecodePppoeDiscovery(PacketDecoder& d);
// PPPoE session (EtherType 0x8864), then PPP and the protocol it names.
void DecodePppoeSession(PacketDecoder& d);

}  // namespace qv
