#pragma once
#include <cstdint>

#include "decode/learned_name.h"
#include "decode/packet_decoder.h"

namespace qv {

// TLS records in a TCP payload (ports 443, 465, 853, 993, 995, 8443, or a
// record header recognised at the payload's start).
void DecodeTls(PacketDecoder& d);

// Whether the bytes at `at` begin a TLS record: a known content type and a
// TLS or SSL 3.0 version.
bool LooksLikeTlsRecord(const PacketDecoder& d, std::uint32_t at);

// Handshake messages (type, length, body) in [start, end) of d's bytes,
// with their lines under `parent`. QUIC hands over its CRYPTO data here.
// A ClientHello's server name teaches the name of the frame's destination,
// reported as `origin`.
void DecodeTlsHandshakeMessages(PacketDecoder& d, NodeId parent, std::uint32_t start, std::uint32_t end,
                                NameOrigin origin);

}  // namespace qv
