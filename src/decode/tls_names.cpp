#include "decode/tls_names.h"

namespace qv::tls {

const char* ContentTypeName(std::uint32_t type) {
  switch (type) {
    case 20: return "ChangeCipherSpec";
    case 21: return "Alert";
    case 22: return "Handshake";
    case 23: return "Application Data";
    case 24: return "Heartbeat";
    default: return nullptr;
  }
}

const char* ContentProtocolName(std::uint32_t type) {
  switch (type) {
    case 20: return "ChangeCipherSpec Protocol";
    case 21: return "Alert Protocol";
    case 22: return "Handshake Protocol";
    case 23: return "Application Data Protocol";
    case 24: return "Heartbeat Protocol";
    default: return nullptr;
  }
}

const char* HandshakeTypeName(std::uint32_t type) {
  switch (type) {
    case 0: return "Hello Request";
    case 1: return "Client Hello";
    case 2: return "Server Hello";
    case 3: return "Hello Verify Request";
    case 4: return "New Session Ticket";
    case 5: return "End of Early Data";
    case 6: return "Hello Retry Request";
    case 8: return "Encrypted Extensions";
    case 11: return "Certificate";
    case 12: return "Server Key Exchange";
    case 13: return "Certificate Request";
    case 14: return "Server Hello Done";
    case 15: return "Certificate Verify";
    case 16: return "Client Key Exchange";
    case 20: return "Finished";
    case 21: return "Certificate URL";
    case 22: return "Certificate Status";
    case 23: return "Supplemental Data";
    case 24: return "Key Update";
    case 25: return "Compressed Certificate";
    case 67: return "Next Protocol";
    case 254: return "Message Hash";
    default: return nullptr;
  }
}

const char* VersionName(std::uint32_t version) {
  switch (version) {
    case 0x0300: return "SSL 3.0";
    case 0x0301: return "TLS 1.0";
    case 0x0302: return "TLS 1.1";
    case 0x0303: return "TLS 1.2";
    case 0x0304: return "TLS 1.3";
    case 0xfeff: return "DTLS 1.0";
    case 0xfefd: return "DTLS 1.2";
    case 0xfefc: return "DTLS 1.3";
    default: return IsGrease(version) ? "Reserved (GREASE)" : nullptr;
  }
}

const char* RecordVersionLabel(std::uint32_t version) {
  switch (version) {
    case 0x0300: return "SSLv3";
    case 0x0301: return "TLSv1";
    case 0x0302: return "TLSv1.1";
    case 0x0303: return "TLSv1.2";
    case 0x0304: return "TLSv1.3";
    default: return "TLS";
  }
}

const char* CipherSuiteName(std::uint32_t suite) {
  if (IsGrease(suite)) return "Reserved (GREASE)";
  switch (suite) {
    case 0x0000: return "TLS_NULL_WITH_NULL_NULL";
    case 0x0001: return "TLS_RSA_WITH_NULL_MD5";
    case 0x0002: return "TLS_RSA_WITH_NULL_SHA";
    case 0x0004: return "TLS_RSA_WITH_RC4_128_MD5";
    case 0x0005: return "TLS_RSA_WITH_RC4_128_SHA";
    case 0x000a: return "TLS_RSA_WITH_3DES_EDE_CBC_SHA";
    case 0x0013: return "TLS_DHE_DSS_WITH_3DES_EDE_CBC_SHA";
    case 0x0016: return "TLS_DHE_RSA_WITH_3DES_EDE_CBC_SHA";
    case 0x002f: return "TLS_RSA_WITH_AES_128_CBC_SHA";
    case 0x0032: return "TLS_DHE_DSS_WITH_AES_128_CBC_SHA";
    case 0x0033: return "TLS_DHE_RSA_WITH_AES_128_CBC_SHA";
    case 0x0035: return "TLS_RSA_WITH_AES_256_CBC_SHA";
    case 0x0038: return "TLS_DHE_DSS_WITH_AES_256_CBC_SHA";
    case 0x0039: return "TLS_DHE_RSA_WITH_AES_256_CBC_SHA";
    case 0x003b: return "TLS_RSA_WITH_NULL_SHA256";
    case 0x003c: return "TLS_RSA_WITH_AES_128_CBC_SHA256";
    case 0x003d: return "TLS_RSA_WITH_AES_256_CBC_SHA256";
    case 0x0040: return "TLS_DHE_DSS_WITH_AES_128_CBC_SHA256";
    case 0x0041: return "TLS_RSA_WITH_CAMELLIA_128_CBC_SHA";
    case 0x0045: return "TLS_DHE_RSA_WITH_CAMELLIA_128_CBC_SHA";
    case 0x0067: return "TLS_DHE_RSA_WITH_AES_128_CBC_SHA256";
    case 0x006a: return "TLS_DHE_DSS_WITH_AES_256_CBC_SHA256";
    case 0x006b: return "TLS_DHE_RSA_WITH_AES_256_CBC_SHA256";
    case 0x0084: return "TLS_RSA_WITH_CAMELLIA_256_CBC_SHA";
    case 0x0088: return "TLS_DHE_RSA_WITH_CAMELLIA_256_CBC_SHA";
    case 0x008c: return "TLS_PSK_WITH_AES_128_CBC_SHA";
    case 0x008d: return "TLS_PSK_WITH_AES_256_CBC_SHA";
    case 0x009c: return "TLS_RSA_WITH_AES_128_GCM_SHA256";
    case 0x009d: return "TLS_RSA_WITH_AES_256_GCM_SHA384";
    case 0x009e: return "TLS_DHE_RSA_WITH_AES_128_GCM_SHA256";
    case 0x009f: return "TLS_DHE_RSA_WITH_AES_256_GCM_SHA384";
    case 0x00a2: return "TLS_DHE_DSS_WITH_AES_128_GCM_SHA256";
    case 0x00a3: return "TLS_DHE_DSS_WITH_AES_256_GCM_SHA384";
    case 0x00a8: return "TLS_PSK_WITH_AES_128_GCM_SHA256";
    case 0x00a9: return "TLS_PSK_WITH_AES_256_GCM_SHA384";
    case 0x00ff: return "TLS_EMPTY_RENEGOTIATION_INFO_SCSV";
    case 0x1301: return "TLS_AES_128_GCM_SHA256";
    case 0x1302: return "TLS_AES_256_GCM_SHA384";
    case 0x1303: return "TLS_CHACHA20_POLY1305_SHA256";
    case 0x1304: return "TLS_AES_128_CCM_SHA256";
    case 0x1305: return "TLS_AES_128_CCM_8_SHA256";
    case 0x5600: return "TLS_FALLBACK_SCSV";
    case 0xc009: return "TLS_ECDHE_ECDSA_WITH_AES_128_CBC_SHA";
    case 0xc00a: return "TLS_ECDHE_ECDSA_WITH_AES_256_CBC_SHA";
    case 0xc012: return "TLS_ECDHE_RSA_WITH_3DES_EDE_CBC_SHA";
    case 0xc013: return "TLS_ECDHE_RSA_WITH_AES_128_CBC_SHA";
    case 0xc014: return "TLS_ECDHE_RSA_WITH_AES_256_CBC_SHA";
    case 0xc023: return "TLS_ECDHE_ECDSA_WITH_AES_128_CBC_SHA256";
    case 0xc024: return "TLS_ECDHE_ECDSA_WITH_AES_256_CBC_SHA384";
    case 0xc027: return "TLS_ECDHE_RSA_WITH_AES_128_CBC_SHA256";
    case 0xc028: return "TLS_ECDHE_RSA_WITH_AES_256_CBC_SHA384";
    case 0xc02b: return "TLS_ECDHE_ECDSA_WITH_AES_128_GCM_SHA256";
    case 0xc02c: return "TLS_ECDHE_ECDSA_WITH_AES_256_GCM_SHA384";
    case 0xc02f: return "TLS_ECDHE_RSA_WITH_AES_128_GCM_SHA256";
    case 0xc030: return "TLS_ECDHE_RSA_WITH_AES_256_GCM_SHA384";
    case 0xc09c: return "TLS_RSA_WITH_AES_128_CCM";
    case 0xc09d: return "TLS_RSA_WITH_AES_256_CCM";
    case 0xc0ac: return "TLS_ECDHE_ECDSA_WITH_AES_128_CCM";
    case 0xc0ad: return "TLS_ECDHE_ECDSA_WITH_AES_256_CCM";
    case 0xcca8: return "TLS_ECDHE_RSA_WITH_CHACHA20_POLY1305_SHA256";
    case 0xcca9: return "TLS_ECDHE_ECDSA_WITH_CHACHA20_POLY1305_SHA256";
    case 0xccaa: return "TLS_DHE_RSA_WITH_CHACHA20_POLY1305_SHA256";
    case 0xccab: return "TLS_PSK_WITH_CHACHA20_POLY1305_SHA256";
    case 0xccac: return "TLS_ECDHE_PSK_WITH_CHACHA20_POLY1305_SHA256";
    default: return nullptr;
  }
}

const char* GroupName(std::uint32_t group) {
  if (IsGrease(group)) return "Reserved (GREASE)";
  switch (group) {
    case 1: return "sect163k1";
    case 3: return "sect163r2";
    case 14: return "sect571k1";
    case 15: return "secp160k1";
    case 19: return "secp192r1";
    case 21: return "secp224r1";
    case 22: return "secp256k1";
    case 23: return "secp256r1";
    case 24: return "secp384r1";
    case 25: return "secp521r1";
    case 26: return "brainpoolP256r1";
    case 27: return "brainpoolP384r1";
    case 28: return "brainpoolP512r1";
    case 29: return "x25519";
    case 30: return "x448";
    case 31: return "brainpoolP256r1tls13";
    case 32: return "brainpoolP384r1tls13";
    case 33: return "brainpoolP512r1tls13";
    case 256: return "ffdhe2048";
    case 257: return "ffdhe3072";
    case 258: return "ffdhe4096";
    case 259: return "ffdhe6144";
    case 260: return "ffdhe8192";
    case 0x0200: return "MLKEM512";
    case 0x0201: return "MLKEM768";
    case 0x0202: return "MLKEM1024";
    case 0x11eb: return "SecP256r1MLKEM768";
    case 0x11ec: return "X25519MLKEM768";
    case 0x11ed: return "SecP384r1MLKEM1024";
    case 0x6399: return "X25519Kyber768Draft00";
    case 0x639a: return "SecP256r1Kyber768Draft00";
    default: return nullptr;
  }
}

const char* SignatureSchemeName(std::uint32_t scheme) {
  if (IsGrease(scheme)) return "Reserved (GREASE)";
  switch (scheme) {
    case 0x0201: return "rsa_pkcs1_sha1";
    case 0x0203: return "ecdsa_sha1";
    case 0x0401: return "rsa_pkcs1_sha256";
    case 0x0403: return "ecdsa_secp256r1_sha256";
    case 0x0501: return "rsa_pkcs1_sha384";
    case 0x0503: return "ecdsa_secp384r1_sha384";
    case 0x0601: return "rsa_pkcs1_sha512";
    case 0x0603: return "ecdsa_secp521r1_sha512";
    case 0x0804: return "rsa_pss_rsae_sha256";
    case 0x0805: return "rsa_pss_rsae_sha384";
    case 0x0806: return "rsa_pss_rsae_sha512";
    case 0x0807: return "ed25519";
    case 0x0808: return "ed448";
    case 0x0809: return "rsa_pss_pss_sha256";
    case 0x080a: return "rsa_pss_pss_sha384";
    case 0x080b: return "rsa_pss_pss_sha512";
    case 0x081a: return "ecdsa_brainpoolP256r1tls13_sha256";
    case 0x081b: return "ecdsa_brainpoolP384r1tls13_sha384";
    case 0x081c: return "ecdsa_brainpoolP512r1tls13_sha512";
    case 0x0904: return "mldsa44";
    case 0x0905: return "mldsa65";
    case 0x0906: return "mldsa87";
    default: return nullptr;
  }
}

const char* HashAlgorithmName(std::uint32_t hash) {
  switch (hash) {
    case 0: return "None";
    case 1: return "MD5";
    case 2: return "SHA1";
    case 3: return "SHA224";
    case 4: return "SHA256";
    case 5: return "SHA384";
    case 6: return "SHA512";
    default: return "Unknown";
  }
}

const char* SignatureAlgorithmName(std::uint32_t sig) {
  switch (sig) {
    case 0: return "Anonymous";
    case 1: return "RSA";
    case 2: return "DSA";
    case 3: return "ECDSA";
    case 4: return "SM2";
    default: return "Unknown";
  }
}

const char* ExtensionName(std::uint32_t type) {
  if (IsGrease(type)) return "Reserved (GREASE)";
  switch (type) {
    case 0: return "server_name";
    case 1: return "max_fragment_length";
    case 2: return "client_certificate_url";
    case 3: return "trusted_ca_keys";
    case 4: return "truncated_hmac";
    case 5: return "status_request";
    case 6: return "user_mapping";
    case 7: return "client_authz";
    case 8: return "server_authz";
    case 9: return "cert_type";
    case 10: return "supported_groups";
    case 11: return "ec_point_formats";
    case 12: return "srp";
    case 13: return "signature_algorithms";
    case 14: return "use_srtp";
    case 15: return "heartbeat";
    case 16: return "application_layer_protocol_negotiation";
    case 17: return "status_request_v2";
    case 18: return "signed_certificate_timestamp";
    case 19: return "client_certificate_type";
    case 20: return "server_certificate_type";
    case 21: return "padding";
    case 22: return "encrypt_then_mac";
    case 23: return "extended_master_secret";
    case 24: return "token_binding";
    case 25: return "cached_info";
    case 27: return "compress_certificate";
    case 28: return "record_size_limit";
    case 34: return "delegated_credentials";
    case 35: return "session_ticket";
    case 41: return "pre_shared_key";
    case 42: return "early_data";
    case 43: return "supported_versions";
    case 44: return "cookie";
    case 45: return "psk_key_exchange_modes";
    case 47: return "certificate_authorities";
    case 48: return "oid_filters";
    case 49: return "post_handshake_auth";
    case 50: return "signature_algorithms_cert";
    case 51: return "key_share";
    case 52: return "transparency_info";
    case 53: return "connection_id";
    case 57: return "quic_transport_parameters";
    case 13172: return "next_protocol_negotiation";
    case 17513: return "application_settings";
    case 17613: return "application_settings";
    case 0xfe0d: return "encrypted_client_hello";
    case 0xffa5: return "quic_transport_parameters (drafts version)";
    case 0xffce: return "encrypted_server_name";
    case 0xff01: return "renegotiation_info";
    default: return nullptr;
  }
}

const char* AlertLevelName(std::uint32_t level) {
  switch (level) {
    case 1: return "Warning";
    case 2: return "Fatal";
    default: return nullptr;
  }
}

const char* AlertDescriptionName(std::uint32_t desc) {
  switch (desc) {
    case 0: return "Close Notify";
    case 10: return "Unexpected Message";
    case 20: return "Bad Record MAC";
    case 21: return "Decryption Failed";
    case 22: return "Record Overflow";
    case 30: return "Decompression Failure";
    case 40: return "Handshake Failure";
    case 41: return "No Certificate";
    case 42: return "Bad Certificate";
    case 43: return "Unsupported Certificate";
    case 44: return "Certificate Revoked";
    case 45: return "Certificate Expired";
    case 46: return "Certificate Unknown";
    case 47: return "Illegal Parameter";
    case 48: return "Unknown CA";
    case 49: return "Access Denied";
    case 50: return "Decode Error";
    case 51: return "Decrypt Error";
    case 60: return "Export Restriction";
    case 70: return "Protocol Version";
    case 71: return "Insufficient Security";
    case 80: return "Internal Error";
    case 86: return "Inappropriate Fallback";
    case 90: return "User Canceled";
    case 100: return "No Renegotiation";
    case 109: return "Missing Extension";
    case 110: return "Unsupported Extension";
    case 111: return "Certificate Unobtainable";
    case 112: return "Unrecognized Name";
    case 113: return "Bad Certificate Status Response";
    case 114: return "Bad Certificate Hash Value";
    case 115: return "Unknown PSK Identity";
    case 116: return "Certificate Required";
    case 120: return "No application Protocol";
    case 121: return "ECH Required";
    default: return nullptr;
  }
}

const char* CompressionMethodName(std::uint32_t method) {
  switch (method) {
    case 0: return "null";
    case 1: return "DEFLATE";
    case 64: return "LZS";
    default: return nullptr;
  }
}

const char* EcPointFormatName(std::uint32_t format) {
  switch (format) {
    case 0: return "uncompressed";
    case 1: return "ansiX962_compressed_prime";
    case 2: return "ansiX962_compressed_char2";
    default: return nullptr;
  }
}

const char* PskModeName(std::uint32_t mode) {
  switch (mode) {
    case 0: return "PSK-only key establishment (psk_ke)";
    case 1: return "PSK with (EC)DHE key establishment (psk_dhe_ke)";
    default: return nullptr;
  }
}

const char* CertCompressionName(std::uint32_t algorithm) {
  switch (algorithm) {
    case 1: return "zlib";
    case 2: return "brotli";
    case 3: return "zstd";
    default: return nullptr;
  }
}

const char* HpkeKdfName(std::uint32_t kdf) {
  switch (kdf) {
    case 1: return "HKDF-SHA256";
    case 2: return "HKDF-SHA384";
    case 3: return "HKDF-SHA512";
    default: return nullptr;
  }
}

const char* HpkeAeadName(std::uint32_t aead) {
  switch (aead) {
    case 1: return "AES-128-GCM";
    case 2: return "AES-256-GCM";
    case 3: return "ChaCha20Poly1305";
    case 0xffff: return "Export-only";
    default: return nullptr;
  }
}

const char* QuicParameterName(std::uint64_t id) {
  switch (id) {
    case 0x00: return "original_destination_connection_id";
    case 0x01: return "max_idle_timeout";
    case 0x02: return "stateless_reset_token";
    case 0x03: return "max_udp_payload_size";
    case 0x04: return "initial_max_data";
    case 0x05: return "initial_max_stream_data_bidi_local";
    case 0x06: return "initial_max_stream_data_bidi_remote";
    case 0x07: return "initial_max_stream_data_uni";
    case 0x08: return "initial_max_streams_bidi";
    case 0x09: return "initial_max_streams_uni";
    case 0x0a: return "ack_delay_exponent";
    case 0x0b: return "max_ack_delay";
    case 0x0c: return "disable_active_migration";
    case 0x0d: return "preferred_address";
    case 0x0e: return "active_connection_id_limit";
    case 0x0f: return "initial_source_connection_id";
    case 0x10: return "retry_source_connection_id";
    case 0x11: return "version_information";
    case 0x20: return "max_datagram_frame_size";
    case 0x2ab2: return "grease_quic_bit";
    case 0x3127: return "google_initial_rtt";
    case 0x3128: return "google_connection_options";
    case 0x3129: return "user_agent";
    case 0x4752: return "google_version";
    case 0xff04de1b: return "min_ack_delay";
    default: return id % 31 == 27 ? "GREASE" : nullptr;
  }
}

}  // namespace qv::tls
