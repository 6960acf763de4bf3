#pragma once
#include "decode/packet_decoder.h"

namespace qv {

// The IPv6 extension headers: hop-by-hop and destination options, routing,
// fragment, AH and ESP, walked in chain by the IPv6 decoder.

}  // namespace qv
