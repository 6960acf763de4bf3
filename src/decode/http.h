#pragma once
#include <cstdint>

#include "decode/packet_decoder.h"

namespace qv {

// An HTTP/1.x message in a TCP payload (ports 80, 8080, 8000, 3128, or a
// request or status line recognised at the payload's start).
void DecodeHttp(PacketDecoder& d);

// SSDP: the same message format over UDP port 1900.
void DecodeSsdp(PacketDecoder& d);

// Whether the bytes at `at` begin an HTTP/1.x request or status line.
bool LooksLikeHttp(const PacketDecoder& d, std::uint32_t at);

}  // namespace qv
