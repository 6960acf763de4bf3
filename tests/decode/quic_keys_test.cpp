#include "decode/quic_initial_keys.h"

#include <gtest/gtest.h>

#include <string>

#include "decode/app_field_lines.h"
#include "decode_helpers.h"
#include "quic_vectors.h"

namespace qv {
namespace {

using namespace qv::testing;

constexpr std::uint32_t kV1 = 0x00000001;
constexpr std::uint32_t kV2 = 0x6b3343cf;

template <class Bytes>
std::string HexOf(const Bytes& bytes) {
  return appfield::HexText(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
}

struct KeyCase {
  std::uint32_t version;
  QuicSide side;
  const char* secret;
  const char* key;
  const char* iv;
  const char* hp;
};

// RFC 9001 A.1 and RFC 9369 A.1.
TEST(QuicInitialKeys, SecretsAndKeysOfTheSampleConnection) {
  const KeyCase cases[] = {
      {kV1, QuicSide::Client, "c00cf151ca5be075ed0ebfb5c80323c42d6b7db67881289af4008f1f6c357aea",
       "1f369613dd76d5467730efcbe3b1a22d", "fa044b2f42a3fd3b46fb255c", "9f50449e04a0e810283a1e9933adedd2"},
      {kV1, QuicSide::Server, "3c199828fd139efd216c155ad844cc81fb82fa8d7446fa7d78be803acdda951b",
       "cf3a5331653c364c88f0f379b6067e37", "0ac1493ca1905853b0bba03e", "c206b8d9b9f0f37644430b490eeaa314"},
      {kV2, QuicSide::Client, "14ec9d6eb9fd7af83bf5a668bc17a7e283766aade7ecd0891f70f9ff7f4bf47b",
       "8b1a0bc121284290a29e0971b5cd045d", "91f73e2351d8fa91660e909f", "45b95e15235d6f45a6b19cbcb0294ba9"},
      {kV2, QuicSide::Server, "0263db1782731bf4588e7e4d93b7463907cb8cd8200b5da55a8bd488eafc37c1",
       "82db637861d55e1d011f19ea71d5d2a7", "dd13c276499c0249d3310652", "edf6d05c83121201b436e16877593c3a"},
  };
  const Bytes dcid = Hex(kRfcClientDcid);
  for (const KeyCase& c : cases) {
    SCOPED_TRACE(c.key);
    const auto secret = QuicInitialSecret(c.version, dcid, c.side);
    ASSERT_TRUE(secret);
    EXPECT_EQ(HexOf(*secret), c.secret);
    const auto keys = DeriveQuicInitialKeys(c.version, dcid, c.side);
    ASSERT_TRUE(keys);
    EXPECT_EQ(HexOf(keys->key), c.key);
    EXPECT_EQ(HexOf(keys->iv), c.iv);
    EXPECT_EQ(HexOf(keys->hp), c.hp);
  }
}

TEST(QuicInitialKeys, KnownVersionsOnly) {
  for (const std::uint32_t v : {0x00000001u, 0x6b3343cfu, 0xff00001du, 0xff000020u, 0xff000021u, 0xff000022u}) {
    EXPECT_TRUE(IsKnownQuicVersion(v)) << std::hex << v;
  }
  for (const std::uint32_t v : {0x00000000u, 0x00000002u, 0xff00001cu, 0xff000023u, 0x1a2a3a4au}) {
    EXPECT_FALSE(IsKnownQuicVersion(v)) << std::hex << v;
    EXPECT_FALSE(DeriveQuicInitialKeys(v, Hex(kRfcClientDcid), QuicSide::Client));
  }
  // Drafts 29 to 32 share a salt of their own; 33 and 34 took version 1's.
  const Bytes dcid = Hex(kRfcClientDcid);
  EXPECT_NE(HexOf(*QuicInitialSecret(0xff00001d, dcid, QuicSide::Client)),
            HexOf(*QuicInitialSecret(kV1, dcid, QuicSide::Client)));
  EXPECT_EQ(HexOf(*QuicInitialSecret(0xff000022, dcid, QuicSide::Client)),
            HexOf(*QuicInitialSecret(kV1, dcid, QuicSide::Client)));
}

// The masks of RFC 9001 A.2, A.3 and RFC 9369 A.2.
TEST(QuicInitialKeys, HeaderProtectionMask) {
  struct Case {
    std::uint32_t version;
    QuicSide side;
    const char* sample;
    const char* mask;
  };
  const Case cases[] = {
      {kV1, QuicSide::Client, "d1b1c98dd7689fb8ec11d242b123dc9b", "437b9aec36"},
      {kV1, QuicSide::Server, "2cd0991cd25b0aac406a5816b6394100", "2ec0d8356a"},
      {kV2, QuicSide::Client, "ffe67b6abcdb4298b485dd04de806071", "94a0c95e80"},
  };
  for (const Case& c : cases) {
    const auto keys = DeriveQuicInitialKeys(c.version, Hex(kRfcClientDcid), c.side);
    ASSERT_TRUE(keys);
    const Bytes sample = Hex(c.sample);
    const auto mask = QuicHeaderMask(keys->hp, std::span<const std::uint8_t, 16>(sample.data(), 16));
    ASSERT_TRUE(mask);
    EXPECT_EQ(HexOf(*mask), c.mask);
  }
}

TEST(QuicInitialKeys, PacketNumberFromItsLowBits) {
  struct Case {
    std::optional<std::uint64_t> largest;
    std::uint64_t truncated;
    unsigned bits;
    std::uint64_t full;
  };
  const Case cases[] = {
      {0xa82f30ea, 0x9b32, 16, 0xa82f9b32},  // RFC 9000 A.3
      {654360563, 0xbff4, 24, 654360564},    // RFC 9001 A.5
      {std::nullopt, 2, 32, 2},              // a first Initial
      {std::nullopt, 0xff, 8, 0xff},
      {0x1fe, 0x01, 8, 0x201},               // wrapped past the window
      {0x201, 0xfe, 8, 0x1fe},               // a late packet from before the wrap
  };
  for (const Case& c : cases) EXPECT_EQ(QuicFullPacketNumber(c.largest, c.truncated, c.bits), c.full) << c.full;
}

// The whole sample packets opened: header protection off, the packet
// number rebuilt, the payload authenticated and decrypted.
TEST(QuicInitialKeys, OpensTheSamplePackets) {
  struct Case {
    const char* name;
    const char* packet;
    std::uint32_t version;
    QuicSide side;
    std::uint8_t firstByte;
    std::uint64_t packetNumber;
    std::size_t payloadSize;
    const char* payloadStart;
  };
  const Case cases[] = {
      {"v1 client", kV1ClientInitial, kV1, QuicSide::Client, 0xc3, 2, 1162, "060040f1010000ed0303ebf8fa56f129"},
      {"v1 server", kV1ServerInitial, kV1, QuicSide::Server, 0xc1, 1, 99, "02000000000600405a020000560303ee"},
      {"v2 client", kV2ClientInitial, kV2, QuicSide::Client, 0xd3, 2, 1162, "060040f1010000ed0303ebf8fa56f129"},
      {"v2 server", kV2ServerInitial, kV2, QuicSide::Server, 0xd1, 1, 99, "02000000000600405a020000560303ee"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes packet = Hex(c.packet);
    const auto keys = DeriveQuicInitialKeys(c.version, Hex(kRfcClientDcid), c.side);
    ASSERT_TRUE(keys);
    // Both put the packet number 18 bytes in: the client has an 8-byte
    // destination id, the server an 8-byte source id.
    constexpr std::uint32_t pnOffset = 18;
    const QuicOpenedPacket opened = QuicOpenLongPacket(*keys, packet, pnOffset);
    ASSERT_EQ(opened.status, QuicOpenStatus::Opened);
    EXPECT_EQ(opened.firstByte, c.firstByte);
    EXPECT_EQ(opened.packetNumber, c.packetNumber);
    ASSERT_EQ(opened.payload.size(), c.payloadSize);
    EXPECT_EQ(HexOf(std::vector<std::uint8_t>(opened.payload.begin(), opened.payload.begin() + 16)), c.payloadStart);

    // The other side's keys, a changed byte anywhere after the header, or a
    // cut packet are refused.
    const QuicSide other = c.side == QuicSide::Client ? QuicSide::Server : QuicSide::Client;
    EXPECT_EQ(QuicOpenLongPacket(*DeriveQuicInitialKeys(c.version, Hex(kRfcClientDcid), other), packet, pnOffset).status,
              QuicOpenStatus::AuthenticationFailed);
    for (const std::size_t at : {std::size_t{5}, std::size_t{40}, packet.size() - 1}) {
      Bytes damaged = packet;
      damaged[at] ^= 0x01;
      EXPECT_EQ(QuicOpenLongPacket(*keys, damaged, pnOffset).status, QuicOpenStatus::AuthenticationFailed) << at;
    }
    EXPECT_EQ(QuicOpenLongPacket(*keys, std::span<const std::uint8_t>(packet).first(pnOffset + 19), pnOffset).status,
              QuicOpenStatus::TooShort);
    EXPECT_EQ(QuicOpenLongPacket(*keys, std::span<const std::uint8_t>(packet).first(pnOffset + 20), pnOffset).status,
              QuicOpenStatus::AuthenticationFailed);
  }
}

}  // namespace
}  // namespace qv
