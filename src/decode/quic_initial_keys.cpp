#include "decode/quic_initial_keys.h"

#include <openssl/evp.h>

#include <algorithm>
#include <memory>
#include <string_view>

namespace qv {

namespace {

constexpr std::uint32_t kVersion1 = 0x00000001;
constexpr std::uint32_t kVersion2 = 0x6b3343cf;
constexpr std::uint32_t kDraft29 = 0xff00001d;
constexpr std::uint32_t kDraft32 = 0xff000020;
constexpr std::uint32_t kDraft34 = 0xff000022;

constexpr std::size_t kTagLength = 16;
constexpr std::size_t kSampleLength = 16;

using Salt = std::array<std::uint8_t, 20>;

// Version 1, and the drafts from 33 on.
constexpr Salt kSaltV1 = {0x38, 0x76, 0x2c, 0xf7, 0xf5, 0x59, 0x34, 0xb3, 0x4d, 0x17,
                          0x9a, 0xe6, 0xa4, 0xc8, 0x0c, 0xad, 0xcc, 0xbb, 0x7f, 0x0a};
constexpr Salt kSaltV2 = {0x0d, 0xed, 0xe3, 0xde, 0xf7, 0x00, 0xa6, 0xdb, 0x81, 0x93,
                          0x81, 0xbe, 0x6e, 0x26, 0x9d, 0xcb, 0xf9, 0xbd, 0x2e, 0xd9};
// Drafts 29 to 32.
constexpr Salt kSaltDraft29 = {0xaf, 0xbf, 0xec, 0x28, 0x99, 0x93, 0xd2, 0x4c, 0x9e, 0x97,
                               0x86, 0xf1, 0x9c, 0x61, 0x11, 0xe0, 0x43, 0x90, 0xa8, 0x99};

const Salt* SaltOf(std::uint32_t version) {
  if (version == kVersion1) return &kSaltV1;
  if (version == kVersion2) return &kSaltV2;
  if (version >= kDraft29 && version <= kDraft32) return &kSaltDraft29;
  if (version > kDraft32 && version <= kDraft34) return &kSaltV1;
  return nullptr;
}

using Secret = std::array<std::uint8_t, 32>;

// The library's algorithms, looked up once: a lookup costs more than the
// work on one packet. Fetched objects may be shared between threads.
const EVP_MD* Sha256() {
  static EVP_MD* const md = EVP_MD_fetch(nullptr, "SHA256", nullptr);
  return md;
}
const EVP_CIPHER* Aes128Ecb() {
  static EVP_CIPHER* const cipher = EVP_CIPHER_fetch(nullptr, "AES-128-ECB", nullptr);
  return cipher;
}
const EVP_CIPHER* Aes128Gcm() {
  static EVP_CIPHER* const cipher = EVP_CIPHER_fetch(nullptr, "AES-128-GCM", nullptr);
  return cipher;
}

struct DigestContextFree {
  void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};

// HMAC-SHA256 (RFC 2104) over the fetched digest; the keys here (salts and
// secrets) are never longer than a block.
bool HmacSha256(std::span<const std::uint8_t> key, std::span<const std::uint8_t> data, Secret& out) {
  constexpr std::size_t kBlock = 64;
  const EVP_MD* md = Sha256();
  if (md == nullptr || key.size() > kBlock) return false;
  const std::unique_ptr<EVP_MD_CTX, DigestContextFree> ctx(EVP_MD_CTX_new());
  if (!ctx) return false;
  std::array<std::uint8_t, kBlock> pad{};
  std::copy(key.begin(), key.end(), pad.begin());
  for (std::uint8_t& b : pad) b ^= 0x36;
  Secret inner{};
  unsigned int length = 0;
  if (EVP_DigestInit_ex(ctx.get(), md, nullptr) != 1 || EVP_DigestUpdate(ctx.get(), pad.data(), pad.size()) != 1 ||
      EVP_DigestUpdate(ctx.get(), data.data(), data.size()) != 1 ||
      EVP_DigestFinal_ex(ctx.get(), inner.data(), &length) != 1 || length != inner.size()) {
    return false;
  }
  for (std::uint8_t& b : pad) b ^= 0x36 ^ 0x5c;
  return EVP_DigestInit_ex(ctx.get(), md, nullptr) == 1 && EVP_DigestUpdate(ctx.get(), pad.data(), pad.size()) == 1 &&
         EVP_DigestUpdate(ctx.get(), inner.data(), inner.size()) == 1 &&
         EVP_DigestFinal_ex(ctx.get(), out.data(), &length) == 1 && length == out.size();
}

// TLS 1.3's HKDF-Expand-Label with an empty context, for outputs of at most
// one hash block (all that QUIC's Initial keys need).
bool ExpandLabel(std::span<const std::uint8_t> secret, std::string_view label, std::span<std::uint8_t> out) {
  constexpr std::string_view kPrefix = "tls13 ";
  if (out.size() > 32 || kPrefix.size() + label.size() > 255) return false;
  std::vector<std::uint8_t> info;
  info.reserve(4 + kPrefix.size() + label.size() + 1);
  info.push_back(static_cast<std::uint8_t>(out.size() >> 8));
  info.push_back(static_cast<std::uint8_t>(out.size()));
  info.push_back(static_cast<std::uint8_t>(kPrefix.size() + label.size()));
  info.insert(info.end(), kPrefix.begin(), kPrefix.end());
  info.insert(info.end(), label.begin(), label.end());
  info.push_back(0);     // no context
  info.push_back(0x01);  // the first block's counter
  Secret block{};
  if (!HmacSha256(secret, info, block)) return false;
  std::copy_n(block.begin(), out.size(), out.begin());
  return true;
}

struct CipherContextFree {
  void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree>;

}  // namespace

bool IsQuicV2(std::uint32_t version) { return version == kVersion2; }

bool IsKnownQuicVersion(std::uint32_t version) { return SaltOf(version) != nullptr; }

std::optional<Secret> QuicInitialSecret(std::uint32_t version, std::span<const std::uint8_t> clientDcid,
                                        QuicSide side) {
  const Salt* salt = SaltOf(version);
  if (salt == nullptr) return std::nullopt;
  // HKDF-Extract: the salt is the key, the connection id the data.
  Secret initial{};
  if (!HmacSha256(*salt, clientDcid, initial)) return std::nullopt;
  Secret secret{};
  if (!ExpandLabel(initial, side == QuicSide::Client ? "client in" : "server in", secret)) return std::nullopt;
  return secret;
}

std::optional<QuicPacketKeys> QuicKeysFromSecret(std::uint32_t version, std::span<const std::uint8_t, 32> secret) {
  const bool v2 = IsQuicV2(version);
  QuicPacketKeys keys;
  if (!ExpandLabel(secret, v2 ? "quicv2 key" : "quic key", keys.key) ||
      !ExpandLabel(secret, v2 ? "quicv2 iv" : "quic iv", keys.iv) ||
      !ExpandLabel(secret, v2 ? "quicv2 hp" : "quic hp", keys.hp)) {
    return std::nullopt;
  }
  return keys;
}

std::optional<QuicPacketKeys> DeriveQuicInitialKeys(std::uint32_t version, std::span<const std::uint8_t> clientDcid,
                                                    QuicSide side) {
  const std::optional<Secret> secret = QuicInitialSecret(version, clientDcid, side);
  if (!secret) return std::nullopt;
  return QuicKeysFromSecret(version, *secret);
}

std::optional<std::array<std::uint8_t, 5>> QuicHeaderMask(const std::array<std::uint8_t, 16>& hp,
                                                          std::span<const std::uint8_t, 16> sample) {
  const CipherContext ctx(EVP_CIPHER_CTX_new());
  if (!ctx) return std::nullopt;
  std::array<std::uint8_t, 16 + 16> out{};
  int length = 0;
  if (Aes128Ecb() == nullptr ||
      EVP_EncryptInit_ex(ctx.get(), Aes128Ecb(), nullptr, hp.data(), nullptr) != 1 ||
      EVP_CIPHER_CTX_set_padding(ctx.get(), 0) != 1 ||
      EVP_EncryptUpdate(ctx.get(), out.data(), &length, sample.data(), static_cast<int>(sample.size())) != 1 ||
      length != 16) {
    return std::nullopt;
  }
  std::array<std::uint8_t, 5> mask{};
  std::copy_n(out.begin(), mask.size(), mask.begin());
  return mask;
}

std::uint64_t QuicFullPacketNumber(std::optional<std::uint64_t> largest, std::uint64_t truncated, unsigned bits) {
  const std::uint64_t expected = largest ? *largest + 1 : 0;
  const std::uint64_t window = std::uint64_t{1} << bits;
  const std::uint64_t half = window / 2;
  const std::uint64_t mask = window - 1;
  const std::uint64_t candidate = (expected & ~mask) | truncated;
  constexpr std::uint64_t kLargest = (std::uint64_t{1} << 62) - 1;
  if (expected >= half && candidate <= expected - half && candidate < kLargest + 1 - window) {
    return candidate + window;
  }
  if (candidate > expected + half && candidate >= window) return candidate - window;
  return candidate;
}

bool QuicOpenPayload(const QuicPacketKeys& keys, std::uint64_t packetNumber, std::span<const std::uint8_t> header,
                     std::span<const std::uint8_t> sealed, std::vector<std::uint8_t>& plain) {
  if (sealed.size() < kTagLength) return false;
  std::array<std::uint8_t, 12> nonce = keys.iv;
  for (int i = 0; i < 8; ++i) nonce[11 - i] ^= static_cast<std::uint8_t>(packetNumber >> (8 * i));
  const std::size_t textLength = sealed.size() - kTagLength;
  plain.assign(textLength, 0);
  const CipherContext ctx(EVP_CIPHER_CTX_new());
  if (!ctx) return false;
  int length = 0;
  if (Aes128Gcm() == nullptr ||
      EVP_DecryptInit_ex(ctx.get(), Aes128Gcm(), nullptr, nullptr, nullptr) != 1 ||
      EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_IVLEN, static_cast<int>(nonce.size()), nullptr) != 1 ||
      EVP_DecryptInit_ex(ctx.get(), nullptr, nullptr, keys.key.data(), nonce.data()) != 1 ||
      EVP_DecryptUpdate(ctx.get(), nullptr, &length, header.data(), static_cast<int>(header.size())) != 1) {
    return false;
  }
  if (textLength != 0 &&
      EVP_DecryptUpdate(ctx.get(), plain.data(), &length, sealed.data(), static_cast<int>(textLength)) != 1) {
    return false;
  }
  // The library takes the expected tag through a non-const pointer.
  std::array<std::uint8_t, kTagLength> tag{};
  std::copy_n(sealed.data() + textLength, kTagLength, tag.begin());
  if (EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_TAG, static_cast<int>(tag.size()), tag.data()) != 1) {
    return false;
  }
  std::array<std::uint8_t, 16> rest{};
  if (EVP_DecryptFinal_ex(ctx.get(), rest.data(), &length) != 1) {
    plain.clear();
    return false;
  }
  return true;
}

QuicOpenedPacket QuicOpenLongPacket(const QuicPacketKeys& keys, std::span<const std::uint8_t> packet,
                                    std::uint32_t pnOffset) {
  QuicOpenedPacket out;
  // The sample starts four bytes after the packet number's first byte,
  // whatever its length; a packet too short for it cannot be opened.
  if (packet.empty() || pnOffset > packet.size() || packet.size() - pnOffset < 4 + kSampleLength) return out;
  const std::span<const std::uint8_t, kSampleLength> sample(packet.data() + pnOffset + 4, kSampleLength);
  const std::optional<std::array<std::uint8_t, 5>> mask = QuicHeaderMask(keys.hp, sample);
  if (!mask) return out;
  out.firstByte = static_cast<std::uint8_t>(packet[0] ^ ((*mask)[0] & 0x0F));
  out.pnLength = (out.firstByte & 0x03) + 1u;
  std::vector<std::uint8_t> header(packet.begin(), packet.begin() + pnOffset + out.pnLength);
  header[0] = out.firstByte;
  std::uint64_t truncated = 0;
  for (std::uint32_t i = 0; i < out.pnLength; ++i) {
    header[pnOffset + i] = static_cast<std::uint8_t>(packet[pnOffset + i] ^ (*mask)[1 + i]);
    truncated = truncated << 8 | header[pnOffset + i];
  }
  out.packetNumber = QuicFullPacketNumber(std::nullopt, truncated, 8 * out.pnLength);
  const std::span<const std::uint8_t> sealed = packet.subspan(pnOffset + out.pnLength);
  if (sealed.size() < kTagLength) return out;
  out.status = QuicOpenPayload(keys, out.packetNumber, header, sealed, out.payload)
                   ? QuicOpenStatus::Opened
                   : QuicOpenStatus::AuthenticationFailed;
  return out;
}

}  // namespace qv
