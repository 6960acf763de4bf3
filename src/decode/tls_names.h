#pragma once
// Names of the numbers TLS carries: content and handshake types, versions,
// cipher suites, groups, signature schemes, extensions, alerts, and the
// transport parameters QUIC sends in its TLS extension. Each returns null for
// a number it does not know, except where a fallback text is the name
// ("Unknown").

#include <cstdint>

namespace qv::tls {

const char* ContentTypeName(std::uint32_t type);        // "Handshake"
const char* ContentProtocolName(std::uint32_t type);    // "Handshake Protocol"
const char* HandshakeTypeName(std::uint32_t type);      // "Client Hello"
const char* VersionName(std::uint32_t version);         // "TLS 1.2"
const char* RecordVersionLabel(std::uint32_t version);  // "TLSv1.2", "SSLv3"
// 0x?a?a with both bytes equal: the values clients send to keep servers
// tolerant of unknown ones.
constexpr bool IsGrease(std::uint32_t v) { return (v & 0x0f0f) == 0x0a0a && (v >> 8) == (v & 0xff); }
const char* CipherSuiteName(std::uint32_t suite);
const char* GroupName(std::uint32_t group);                // "x25519", "X25519MLKEM768"
const char* SignatureSchemeName(std::uint32_t scheme);     // "rsa_pss_rsae_sha256"
const char* HashAlgorithmName(std::uint32_t hash);         // "SHA256"; "Unknown"
const char* SignatureAlgorithmName(std::uint32_t sig);     // "RSA"; "Unknown"
const char* ExtensionName(std::uint32_t type);             // "server_name"
const char* AlertLevelName(std::uint32_t level);           // "Fatal"
const char* AlertDescriptionName(std::uint32_t desc);      // "Unknown CA"
const char* CompressionMethodName(std::uint32_t method);   // "null"
const char* EcPointFormatName(std::uint32_t format);       // "uncompressed"
const char* PskModeName(std::uint32_t mode);               // "PSK with (EC)DHE key establishment (psk_dhe_ke)"
const char* CertCompressionName(std::uint32_t algorithm);  // "brotli"
const char* HpkeKdfName(std::uint32_t kdf);                // "HKDF-SHA256"
const char* HpkeAeadName(std::uint32_t aead);              // "AES-128-GCM"
const char* QuicParameterName(std::uint64_t id);           // "initial_max_data"

}  // namespace qv::tls
