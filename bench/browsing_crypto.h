#pragma once
// The cryptography the browsing capture needs, through OpenSSL's libcrypto:
// QUIC version 1 Initial packets protected with the keys every observer can
// derive from the client's first destination connection ID (RFC 9001,
// section 5), and small X.509 certificates for the TLS 1.2 handshakes.
// Everything here is deterministic: Ed25519 signatures need no random
// numbers, and the packets' keys come from the connection IDs.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace qv::browsing {

using Bytes = std::vector<std::uint8_t>;

// A QUIC version 1 Initial packet (long header, 4-byte packet number) whose
// protected payload is `frames` (CRYPTO, ACK, PADDING ... in the clear),
// padded with PADDING frames so the packet is at least `minimumSize` bytes.
// `fromClient` picks the client's or the server's Initial keys; both derive
// from `originalDcid`, the destination connection ID of the client's first
// Initial.
Bytes QuicInitialPacket(bool fromClient, std::span<const std::uint8_t> originalDcid, std::span<const std::uint8_t> dcid,
                        std::span<const std::uint8_t> scid, std::uint32_t packetNumber, const Bytes& frames,
                        std::size_t minimumSize);

// A DER certificate for `commonName` (also its DNS subject alternative
// name), with an Ed25519 key made from `keySeed`, signed by the issuer's
// key made from `issuerSeed` under the issuer name `issuerName`.
Bytes Certificate(const std::string& commonName, std::uint32_t keySeed, const std::string& issuerName,
                  std::uint32_t issuerSeed, std::uint32_t serial);

}  // namespace qv::browsing
