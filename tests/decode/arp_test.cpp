#include "decode/arp.h"

#include <gtest/gtest.h>

#include "decode_helpers.h"

namespace qv {
namespace {

using namespace qv::testing;

const framegen::Mac kSender{0x00, 0x1b, 0x21, 0xab, 0xcd, 0xef};
const framegen::Mac kNobody{0, 0, 0, 0, 0, 0};

Bytes ArpFrame(std::uint16_t etherType, std::uint16_t operation) {
  return FrameBuilder()
      .Ethernet(framegen::kBroadcast, kSender, etherType)
      .Arp(operation, kSender, {192, 168, 1, 10}, kNobody, {192, 168, 1, 1})
      .PadTo(60)
      .Build();
}

// One decoder run directly on a body at `at`, for bodies that the Ethernet
// dispatch does not reach (behind a VLAN tag, for instance).
TreeDecode DecodeAt(DecoderFn decoder, std::span<const std::uint8_t> frame, std::uint32_t at) {
  TreeDecode out;
  PacketDecoder d(frame, {}, &out.tree, DecodeMode::Tree, &out.layerStarts, nullptr);
  d.offset = at;
  decoder(d);
  out.text = out.tree.ToText();
  return out;
}

TEST(Arp, RequestInMinimumFrameIsTwoLayersAndPadding) {
  const Bytes frame = ArpFrame(0x0806, 1);
  ASSERT_EQ(frame.size(), 60u);
  const TreeDecode t = DecodeTreeOf(frame);
  EXPECT_EQ(t.text,
            "Ethernet II [0,14)\n"
            "  Destination MAC: FF:FF:FF:FF:FF:FF - Broadcast [0,6)\n"
            "  Source MAC: 00:1B:21:AB:CD:EF [6,12)\n"
            "  Type: 0x0806 - ARP [12,14)\n"
            "ARP [14,42)\n"
            "  Hardware type: 1 (0x0001) [14,16)\n"
            "  Protocol type: 2048 (0x0800) [16,18)\n"
            "  Hardware length: 6 (0x06) [18,19)\n"
            "  Protocol length: 4 (0x04) [19,20)\n"
            "  Operation: 1 (0x0001) (ARP request) [20,22)\n"
            "  Source MAC: 00:1b:21:ab:cd:ef [22,28)\n"
            "  Source IP: 192.168.1.10 (0x c0.a8.01.0a) [28,32)\n"
            "  Destination MAC: 00:00:00:00:00:00 [32,38)\n"
            "  Destination IP: 192.168.1.1 (0x c0.a8.01.01) [38,42)\n");
  // The body, then the 18 bytes of padding as a segment of their own.
  EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{14, 42}));

  const SummaryDecode s = DecodeSummaryOf(frame);
  EXPECT_EQ(s.row.ProtocolsText(), "ARP ");
  EXPECT_EQ(s.row.SrcIpText(), "");
  EXPECT_EQ(s.row.DstIpText(), "");
  EXPECT_EQ(s.row.SrcPortText(), "");
  EXPECT_EQ(s.row.DstPortText(), "");
  EXPECT_EQ(s.sink.protocols, (std::vector<std::string>{"Ethernet II/1", "ARP/1"}));
  EXPECT_TRUE(s.sink.samples.empty());
}

TEST(Arp, OperationNamesAreSharedByArpAndRarp) {
  struct Case {
    std::uint16_t operation;
    const char* line;
  };
  const Case cases[] = {
      {1, "  Operation: 1 (0x0001) (ARP request) [20,22)\n"},
      {2, "  Operation: 2 (0x0002) (ARP response) [20,22)\n"},
      {3, "  Operation: 3 (0x0003) (RARP request) [20,22)\n"},
      {4, "  Operation: 4 (0x0004) (RARP response) [20,22)\n"},
      {5, "  Operation: 5 (0x0005) (Dynamic RARP request) [20,22)\n"},
      {6, "  Operation: 6 (0x0006) (Dynamic RARP reply) [20,22)\n"},
      {7, "  Operation: 7 (0x0007) (Dynamic RARP error) [20,22)\n"},
      {8, "  Operation: 8 (0x0008) (InARP request) [20,22)\n"},
      {9, "  Operation: 9 (0x0009) (InARP reply) [20,22)\n"},
      {0, "  Operation: 0 (0x0000) [20,22)\n"},
      {10, "  Operation: 10 (0x000a) [20,22)\n"},
      {0xffff, "  Operation: 65535 (0xffff) [20,22)\n"},
  };
  for (const Case& c : cases) {
    for (const std::uint16_t etherType : {std::uint16_t{0x0806}, std::uint16_t{0x8035}}) {
      const std::string text = DecodeTreeOf(ArpFrame(etherType, c.operation)).text;
      EXPECT_NE(text.find(c.line), std::string::npos) << std::hex << etherType << "\n" << text;
    }
  }
}

TEST(Arp, RarpFrameIsItsOwnProtocol) {
  const Bytes frame = ArpFrame(0x8035, 3);
  const TreeDecode t = DecodeTreeOf(frame);
  EXPECT_NE(t.text.find("  Type: 0x8035 - RARP [12,14)\nRARP [14,42)\n"), std::string::npos) << t.text;
  EXPECT_NE(t.text.find("  Operation: 3 (0x0003) (RARP request) [20,22)\n"), std::string::npos) << t.text;
  EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{14, 42}));

  const SummaryDecode s = DecodeSummaryOf(frame);
  EXPECT_EQ(s.row.ProtocolsText(), "RARP ");
  EXPECT_EQ(s.row.SrcIpText(), "");
  EXPECT_EQ(s.sink.protocols, (std::vector<std::string>{"Ethernet II/1", "RARP/1"}));
}

TEST(Arp, FrameEndingWithTheBodyMarksAnEmptyTail) {
  const Bytes frame = FrameBuilder()
                          .Ethernet(framegen::kBroadcast, kSender, 0x0806)
                          .Arp(2, kSender, {10, 0, 0, 1}, kSender, {10, 0, 0, 2})
                          .Build();
  ASSERT_EQ(frame.size(), 42u);
  const TreeDecode t = DecodeTreeOf(frame);
  EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{14, 42}));
  EXPECT_NE(t.text.find("  Destination IP: 10.0.0.2 (0x 0a.00.00.02) [38,42)\n"), std::string::npos) << t.text;
}

// Each field line appears only once all its bytes are captured; nothing is
// read beyond a prefix of the frame, in either mode.
TEST(Arp, EveryPrefixStaysWithinTheCapturedBytes) {
  const std::uint32_t fieldEnds[] = {16, 18, 19, 20, 22, 28, 32, 38, 42};
  for (const std::uint16_t etherType : {std::uint16_t{0x0806}, std::uint16_t{0x8035}}) {
    const Bytes full = ArpFrame(etherType, 2);
    for (std::size_t n = 0; n <= full.size(); ++n) {
      const std::vector<std::uint8_t> prefix(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
      const std::uint32_t len = static_cast<std::uint32_t>(n);
      const TreeDecode t = DecodeTreeOf(prefix);
      EXPECT_TRUE(RangesWithin(t.tree, len)) << n;
      const std::vector<NodeId> top = t.tree.TopLevel();
      if (n <= 14) {
        EXPECT_LE(top.size(), 1u) << n;
        continue;
      }
      ASSERT_EQ(top.size(), 2u) << n;
      std::size_t expectedFields = 0;
      for (std::uint32_t end : fieldEnds) expectedFields += end <= len ? 1 : 0;
      EXPECT_EQ(t.tree.Children(top[1]).size(), expectedFields) << n;
      EXPECT_EQ(t.tree[top[1]].end, std::min<std::uint32_t>(len, 42)) << n;

      const SummaryDecode s = DecodeSummaryOf(prefix);
      EXPECT_EQ(s.row.ProtocolsText(), etherType == 0x0806 ? "ARP " : "RARP ") << n;
    }
  }
}

// From the capture suite: a RARP frame cut to 22 bytes by the snapshot
// length, hardware type 65280 and both address lengths zero.
TEST(Arp, TruncatedMalformedRarpShowsOnlyCapturedFields) {
  const Bytes frame = Hex("000cff7f9677 c0c1c0a00064 8035 ff00 8b01 00 00 0004");
  const TreeDecode t = DecodeTreeOf(frame);
  EXPECT_NE(t.text.find("RARP [14,22)\n"
                        "  Hardware type: 65280 (0xff00) [14,16)\n"
                        "  Protocol type: 35585 (0x8b01) [16,18)\n"
                        "  Hardware length: 0 (0x00) [18,19)\n"
                        "  Protocol length: 0 (0x00) [19,20)\n"
                        "  Operation: 4 (0x0004) (RARP response) [20,22)\n"),
            std::string::npos)
      << t.text;
  EXPECT_EQ(t.text.find("Source MAC: 0"), std::string::npos) << t.text;
  EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{14, 22}));
}

// From the capture suite: an ARP body behind an 802.1ad tag claiming 14-byte
// hardware addresses. The lengths are shown; the layout stays the fixed one.
TEST(Arp, UnusualAddressLengthsAreShownNotFollowed) {
  const Bytes frame = Hex(
      "303030303030 303030303030 88a8 3030 0806"
      "3030 0800 0e 04 0001 303030303030 30303030 303030303030 30303030"
      "303030303030303030303030303030303030");
  const TreeDecode t = DecodeAt(DecodeArp, frame, 18);
  EXPECT_EQ(t.text,
            "ARP [18,46)\n"
            "  Hardware type: 12336 (0x3030) [18,20)\n"
            "  Protocol type: 2048 (0x0800) [20,22)\n"
            "  Hardware length: 14 (0x0e) [22,23)\n"
            "  Protocol length: 4 (0x04) [23,24)\n"
            "  Operation: 1 (0x0001) (ARP request) [24,26)\n"
            "  Source MAC: 30:30:30:30:30:30 [26,32)\n"
            "  Source IP: 48.48.48.48 (0x 30.30.30.30) [32,36)\n"
            "  Destination MAC: 30:30:30:30:30:30 [36,42)\n"
            "  Destination IP: 48.48.48.48 (0x 30.30.30.30) [42,46)\n");
  EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{18, 46}));
}

}  // namespace
}  // namespace qv
