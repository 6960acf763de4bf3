#pragma once
// What the TLS units share: the state one segment's records build up as they
// are decoded, and the entry points of the handshake and extension units.

#include <cstdint>
#include <optional>

#include "decode/app_field_lines.h"
#include "decode/learned_name.h"
#include "decode/packet_decoder.h"

namespace qv::tls {

using appfield::Area;

inline constexpr std::uint32_t kRecordHeaderLength = 5;
inline constexpr std::uint32_t kHandshakeHeaderLength = 4;
// A record's plaintext is at most 2^14 bytes; compression and protection may
// add up to 2048 more.
inline constexpr std::uint32_t kMaxRecordLength = (1u << 14) + 2048;
inline constexpr std::uint16_t kTls13 = 0x0304;

// What the records of one segment (or one run of QUIC's CRYPTO data) learn
// as they are decoded, in order.
struct Session {
  NameOrigin origin = NameOrigin::TlsServerName;
  // The version a ServerHello chose (from supported_versions, else its own
  // version field); 0 until one was seen.
  std::uint16_t version = 0;
  // A ChangeCipherSpec was seen: the handshake records after it are
  // encrypted.
  bool encrypted = false;
};

// What a record's handshake messages were, for the record's line.
struct HandshakeSummary {
  unsigned count = 0;
  const char* firstName = nullptr;
};

// Handshake messages (type, length, body) in `area`, under `parent`. In
// summary mode only a ClientHello is looked at, for its server name.
HandshakeSummary DecodeHandshakeArea(PacketDecoder& d, NodeId parent, Area area, Session& s);

// Where the extensions appear; some have a different form in each.
enum class ExtensionsOf : std::uint8_t {
  ClientHello,
  ServerHello,
  HelloRetryRequest,
  EncryptedExtensions,
  Certificate,
  NewSessionTicket,
  CertificateRequest,
};

// The extensions block at `at` (its 2-byte length, then the extensions),
// within `limit`. A ServerHello's supported_versions sets s.version.
void AddExtensionsBlock(PacketDecoder& d, NodeId parent, std::uint32_t at, const Area& limit, ExtensionsOf where,
                        Session& s);

// The data of the first extension of `type` in the block at `at`, found
// without decoding any extension; cut at `limit`.
std::optional<Area> FindExtension(const PacketDecoder& d, std::uint32_t at, const Area& limit, std::uint16_t type);
// The host name of a ClientHello's server_name extension in that block: the
// bytes of the first host_name entry.
std::optional<Area> FindServerName(const PacketDecoder& d, std::uint32_t at, const Area& limit);

// A signature_algorithms list (its 2-byte length, then the schemes) at
// the start of `area`.
void AddSignatureAlgorithms(PacketDecoder& d, NodeId parent, const Area& area);

// QUIC's transport parameters (extension 57) in `area`.
void AddQuicTransportParameters(PacketDecoder& d, NodeId parent, const Area& area);

// A QUIC variable-length integer at `at` within `area`.
struct Varint {
  std::uint64_t value = 0;
  std::uint32_t width = 0;
};
std::optional<Varint> ReadVarint(const PacketDecoder& d, std::uint32_t at, const Area& area);

// "1 byte", "12 bytes".
std::string BytesText(std::uint32_t count);
// Hex digits of up to `limit` bytes at `at`, with "..." when there are more.
std::string HexPreview(const PacketDecoder& d, std::uint32_t at, std::uint32_t count, std::uint32_t limit = 32);

}  // namespace qv::tls
