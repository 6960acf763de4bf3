#pragma once
#include <cstdint>

#include "decode/packet_decoder.h"

namespace qv {

// The QUIC packets of one UDP datagram (port 443, or a long header of a
// known version), coalesced ones each in turn; Initial packets decrypted.
void DecodeQuic(PacketDecoder& d);

// Whether the bytes at `at` begin a QUIC long header of a known version.
bool LooksLikeQuic(const PacketDecoder& d, std::uint32_t at);

}  // namespace qv
