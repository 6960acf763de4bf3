#include "bench/browsing_crypto.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <array>
#include <memory>
#include <stdexcept>

namespace qv::browsing {

namespace {

void Check(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(std::string("libcrypto: ") + what);
}

Bytes Hmac(std::span<const std::uint8_t> key, std::span<const std::uint8_t> data) {
  Bytes out(32);
  unsigned int length = 0;
  Check(HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()), data.data(), data.size(), out.data(), &length) !=
            nullptr,
        "HMAC");
  out.resize(length);
  return out;
}

// HKDF-Expand-Label of TLS 1.3 with an empty context, for outputs of at most
// one hash length.
Bytes ExpandLabel(std::span<const std::uint8_t> secret, const std::string& label, std::size_t length) {
  const std::string full = "tls13 " + label;
  Bytes info{0, static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(full.size())};
  info.insert(info.end(), full.begin(), full.end());
  info.push_back(0);  // context
  info.push_back(1);  // the first (and only) block's counter
  Bytes out = Hmac(secret, info);
  out.resize(length);
  return out;
}

struct InitialKeys {
  Bytes key, iv, hp;
};

InitialKeys DeriveInitialKeys(bool fromClient, std::span<const std::uint8_t> originalDcid) {
  static constexpr std::array<std::uint8_t, 20> kSalt = {0x38, 0x76, 0x2c, 0xf7, 0xf5, 0x59, 0x34, 0xb3, 0x4d, 0x17,
                                                         0x9a, 0xe6, 0xa4, 0xc8, 0x0c, 0xad, 0xcc, 0xbb, 0x7f, 0x0a};
  const Bytes initialSecret = Hmac(kSalt, originalDcid);  // HKDF-Extract
  const Bytes secret = ExpandLabel(initialSecret, fromClient ? "client in" : "server in", 32);
  return {ExpandLabel(secret, "quic key", 16), ExpandLabel(secret, "quic iv", 12), ExpandLabel(secret, "quic hp", 16)};
}

using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;

void PutVarint2(Bytes& out, std::size_t value) {
  out.push_back(static_cast<std::uint8_t>(0x40 | (value >> 8)));
  out.push_back(static_cast<std::uint8_t>(value));
}

EVP_PKEY* KeyFromSeed(std::uint32_t seed) {
  std::array<std::uint8_t, 32> raw{};
  for (std::size_t i = 0; i < raw.size(); ++i) {
    seed = seed * 1664525u + 1013904223u;
    raw[i] = static_cast<std::uint8_t>(seed >> 24);
  }
  EVP_PKEY* key = EVP_PKEY_new_raw_private_key(EVP_PKEY_ED25519, nullptr, raw.data(), raw.size());
  Check(key != nullptr, "Ed25519 key");
  return key;
}

}  // namespace

Bytes QuicInitialPacket(bool fromClient, std::span<const std::uint8_t> originalDcid, std::span<const std::uint8_t> dcid,
                        std::span<const std::uint8_t> scid, std::uint32_t packetNumber, const Bytes& frames,
                        std::size_t minimumSize) {
  const InitialKeys keys = DeriveInitialKeys(fromClient, originalDcid);
  constexpr std::size_t kPacketNumberLength = 4, kTagLength = 16;
  Bytes header{static_cast<std::uint8_t>(0xc0 | (kPacketNumberLength - 1)), 0, 0, 0, 1};
  header.push_back(static_cast<std::uint8_t>(dcid.size()));
  header.insert(header.end(), dcid.begin(), dcid.end());
  header.push_back(static_cast<std::uint8_t>(scid.size()));
  header.insert(header.end(), scid.begin(), scid.end());
  header.push_back(0);  // no token
  // Length (2-byte varint) covers the packet number, the payload and the tag.
  const std::size_t fixed = header.size() + 2 + kPacketNumberLength + kTagLength;
  Bytes plain = frames;
  if (fixed + plain.size() < minimumSize) plain.resize(minimumSize - fixed, 0);  // PADDING frames
  PutVarint2(header, kPacketNumberLength + plain.size() + kTagLength);
  const std::size_t packetNumberOffset = header.size();
  for (int shift = 24; shift >= 0; shift -= 8) header.push_back(static_cast<std::uint8_t>(packetNumber >> shift));

  Bytes nonce = keys.iv;
  for (std::size_t i = 0; i < 4; ++i) nonce[nonce.size() - 1 - i] ^= static_cast<std::uint8_t>(packetNumber >> (8 * i));
  CipherContext gcm(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
  Check(gcm != nullptr, "cipher context");
  Check(EVP_EncryptInit_ex(gcm.get(), EVP_aes_128_gcm(), nullptr, keys.key.data(), nonce.data()) == 1, "AES-GCM");
  int length = 0;
  Check(EVP_EncryptUpdate(gcm.get(), nullptr, &length, header.data(), static_cast<int>(header.size())) == 1, "AAD");
  Bytes packet = header;
  packet.resize(header.size() + plain.size() + kTagLength);
  Check(EVP_EncryptUpdate(gcm.get(), packet.data() + header.size(), &length, plain.data(),
                          static_cast<int>(plain.size())) == 1,
        "encrypt");
  Check(EVP_EncryptFinal_ex(gcm.get(), packet.data() + header.size() + length, &length) == 1, "encrypt final");
  Check(EVP_CIPHER_CTX_ctrl(gcm.get(), EVP_CTRL_GCM_GET_TAG, static_cast<int>(kTagLength),
                            packet.data() + header.size() + plain.size()) == 1,
        "tag");

  // Header protection: the mask comes from 16 bytes of ciphertext that
  // start 4 bytes after the packet number's first byte.
  CipherContext ecb(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
  Check(ecb != nullptr, "cipher context");
  Check(EVP_EncryptInit_ex(ecb.get(), EVP_aes_128_ecb(), nullptr, keys.hp.data(), nullptr) == 1, "AES-ECB");
  EVP_CIPHER_CTX_set_padding(ecb.get(), 0);
  std::array<std::uint8_t, 32> mask{};
  Check(EVP_EncryptUpdate(ecb.get(), mask.data(), &length, packet.data() + packetNumberOffset + 4, 16) == 1, "mask");
  packet[0] ^= mask[0] & 0x0f;
  for (std::size_t i = 0; i < kPacketNumberLength; ++i) packet[packetNumberOffset + i] ^= mask[1 + i];
  return packet;
}

Bytes Certificate(const std::string& commonName, std::uint32_t keySeed, const std::string& issuerName,
                  std::uint32_t issuerSeed, std::uint32_t serial) {
  std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(KeyFromSeed(keySeed), EVP_PKEY_free);
  std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> issuerKey(KeyFromSeed(issuerSeed), EVP_PKEY_free);
  std::unique_ptr<X509, decltype(&X509_free)> cert(X509_new(), X509_free);
  Check(cert != nullptr, "X509_new");
  X509_set_version(cert.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), static_cast<long>(serial));
  ASN1_TIME_set(X509_getm_notBefore(cert.get()), 1793000000);  // late October 2026
  ASN1_TIME_set(X509_getm_notAfter(cert.get()), 1800800000);   // late January 2027
  auto name = [](const std::string& cn) {
    X509_NAME* n = X509_NAME_new();
    X509_NAME_add_entry_by_txt(n, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(cn.c_str()), -1, -1, 0);
    return n;
  };
  X509_NAME* subject = name(commonName);
  X509_NAME* issuer = name(issuerName);
  X509_set_subject_name(cert.get(), subject);
  X509_set_issuer_name(cert.get(), issuer);
  X509_NAME_free(subject);
  X509_NAME_free(issuer);
  Check(X509_set_pubkey(cert.get(), key.get()) == 1, "public key");
  if (commonName != issuerName) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, nullptr, cert.get(), nullptr, nullptr, 0);
    const std::string san = "DNS:" + commonName;
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, NID_subject_alt_name, san.c_str());
    Check(extension != nullptr, "subject alternative name");
    X509_add_ext(cert.get(), extension, -1);
    X509_EXTENSION_free(extension);
  }
  Check(X509_sign(cert.get(), issuerKey.get(), nullptr) > 0, "signature");
  const int size = i2d_X509(cert.get(), nullptr);
  Check(size > 0, "DER");
  Bytes der(static_cast<std::size_t>(size));
  unsigned char* at = der.data();
  i2d_X509(cert.get(), &at);
  return der;
}

}  // namespace qv::browsing
