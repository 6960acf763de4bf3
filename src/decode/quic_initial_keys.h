#pragma once
// The protection of QUIC Initial packets: keys derived from the client's
// first destination connection id and a salt of the version, header
// protection by an AES-128 mask over a sample of the ciphertext, and the
// payload sealed with AES-128-GCM. Anyone who sees the client's first
// Initial can open the Initials of both sides; later packets use keys from
// the TLS handshake, which a capture does not have.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace qv {

enum class QuicSide : std::uint8_t { Client, Server };

struct QuicPacketKeys {
  std::array<std::uint8_t, 16> key{};
  std::array<std::uint8_t, 12> iv{};
  std::array<std::uint8_t, 16> hp{};
};

// Versions 1, 2 and the drafts 29 to 34.
bool IsKnownQuicVersion(std::uint32_t version);
bool IsQuicV2(std::uint32_t version);

// The client's or server's Initial secret (32 bytes); absent for an unknown
// version or a failure of the library.
std::optional<std::array<std::uint8_t, 32>> QuicInitialSecret(std::uint32_t version,
                                                              std::span<const std::uint8_t> clientDcid,
                                                              QuicSide side);
// Key, IV and header protection key from a secret, with the version's labels.
std::optional<QuicPacketKeys> QuicKeysFromSecret(std::uint32_t version, std::span<const std::uint8_t, 32> secret);
std::optional<QuicPacketKeys> DeriveQuicInitialKeys(std::uint32_t version, std::span<const std::uint8_t> clientDcid,
                                                    QuicSide side);

// The five mask bytes that AES-128-ECB makes of the 16-byte sample.
std::optional<std::array<std::uint8_t, 5>> QuicHeaderMask(const std::array<std::uint8_t, 16>& hp,
                                                          std::span<const std::uint8_t, 16> sample);

// The full packet number from its `bits` low bits, the largest number seen
// so far being `largest` (absent before the first packet).
std::uint64_t QuicFullPacketNumber(std::optional<std::uint64_t> largest, std::uint64_t truncated, unsigned bits);

// Opens `sealed` (ciphertext and its 16-byte tag) with `header` as the
// additional data; false when the tag does not match.
bool QuicOpenPayload(const QuicPacketKeys& keys, std::uint64_t packetNumber, std::span<const std::uint8_t> header,
                     std::span<const std::uint8_t> sealed, std::vector<std::uint8_t>& plain);

enum class QuicOpenStatus : std::uint8_t { Opened, TooShort, AuthenticationFailed };

struct QuicOpenedPacket {
  QuicOpenStatus status = QuicOpenStatus::TooShort;
  std::uint8_t firstByte = 0;       // with its protection removed
  std::uint32_t pnLength = 0;       // 1 to 4
  std::uint64_t packetNumber = 0;
  std::vector<std::uint8_t> payload;  // the frames
};

// Removes the header protection of one long-header packet (`packet` runs
// from its first byte to the end its Length gives; the packet number
// starts at `pnOffset`) and opens its payload.
QuicOpenedPacket QuicOpenLongPacket(const QuicPacketKeys& keys, std::span<const std::uint8_t> packet,
                                    std::uint32_t pnOffset);

}  // namespace qv
