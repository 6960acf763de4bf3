#pragma once
// The frames of an opened QUIC packet: PADDING, PING, ACK, CRYPTO,
// NEW_TOKEN and CONNECTION_CLOSE in detail, any other type by its name with
// the rest of the payload as bytes. The CRYPTO data contiguous from offset 0
// goes to the TLS handshake decoder, in order, in one piece.

#include "decode/packet_decoder.h"

namespace qv {

// Frames over all of `d`'s bytes (a decoder over the plaintext), their
// lines under `parent`.
void DecodeQuicFrames(PacketDecoder& d, NodeId parent);

// "1,162": a count with thousands separators.
std::string QuicGroupedCount(std::uint64_t n);

}  // namespace qv
