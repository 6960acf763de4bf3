#include "decode/ethernet.h"

#include <gtest/gtest.h>

#include "decode_helpers.h"

namespace qv {
namespace {

using namespace qv::testing;

const framegen::Mac kDst{0x00, 0xa0, 0xc9, 0x14, 0xc8, 0x29};
const framegen::Mac kSrc{0x00, 0x1b, 0x21, 0x3a, 0x4f, 0x01};

TEST(Ethernet, UnknownEtherTypeIsOneLayerMarkedUnsupportedTwice) {
  const Bytes frame = FrameBuilder().Ethernet(kDst, kSrc, 0x88cc).Zeros(46).Build();
  const TreeDecode t = DecodeTreeOf(frame);
  EXPECT_EQ(t.text,
            "Ethernet II [0,14)\n"
            "  Destination MAC: 00:A0:C9:14:C8:29 [0,6)\n"
            "  Source MAC: 00:1B:21:3A:4F:01 [6,12)\n"
            "  Type: 0x88cc [12,14)\n");
  EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{14, 14}));

  const SummaryDecode s = DecodeSummaryOf(frame);
  EXPECT_EQ(s.row.SrcMacText(), "0:1b:21:3a:4f:1");
  EXPECT_EQ(s.row.DstMacText(), "0:a0:c9:14:c8:29");
  EXPECT_EQ(s.row.ProtocolsText(), "");
  EXPECT_EQ(s.sink.protocols, (std::vector<std::string>{"Ethernet II/1"}));
}

TEST(Ethernet, DestinationSuffixes) {
  struct Case {
    framegen::Mac dst;
    const char* line;
  };
  const Case cases[] = {
      {{0xff, 0xff, 0xff, 0xff, 0xff, 0xff}, "  Destination MAC: FF:FF:FF:FF:FF:FF - Broadcast [0,6)\n"},
      {{0x01, 0x00, 0x5e, 0x00, 0x00, 0x01}, "  Destination MAC: 01:00:5E:00:00:01 - Multicast [0,6)\n"},
      {{0x02, 0x00, 0x00, 0x00, 0x00, 0x01}, "  Destination MAC: 02:00:00:00:00:01 [0,6)\n"},
  };
  for (const Case& c : cases) {
    // A multicast source gets no suffix.
    const Bytes frame = FrameBuilder().Ethernet(c.dst, {0x01, 0, 0, 0, 0, 2}, 0x9000).Zeros(46).Build();
    const std::string text = DecodeTreeOf(frame).text;
    EXPECT_NE(text.find(c.line), std::string::npos) << text;
    EXPECT_NE(text.find("  Source MAC: 01:00:00:00:00:02 [6,12)\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Type: 0x9000 - Loopback (Configuration Test Protocol)"), std::string::npos) << text;
  }
}

TEST(Ethernet, OtherLinkTypesAreNotReadAsEthernet) {
  const Bytes frame = FrameBuilder().Ethernet(kDst, kSrc, 0x0800).Zeros(46).Build();
  DecodeTree tree;
  tree.Add(kRootNode, "stale line from the previous packet");
  std::vector<std::int32_t> starts;
  PacketSummary row;
  // A link type without a decoder: one line naming it, nothing from the bytes.
  PacketDecoder tree_mode(frame, {147, nullptr, nullptr}, &tree, DecodeMode::Tree, &starts, nullptr);
  tree_mode.Decode();
  ASSERT_EQ(tree.LineCount(), 1u);
  EXPECT_EQ(tree[tree.TopLevel()[0]].text.rfind("Link type 147 (", 0), 0u);
  PacketDecoder summary_mode(frame, {147, nullptr, nullptr}, nullptr, DecodeMode::Summary, nullptr, &row);
  summary_mode.Decode();
  EXPECT_FALSE(row.hasSrcMac);
  EXPECT_FALSE(row.hasSrcIp);
}

TEST(Ethernet, ShortFramesNeverReadPastTheCapturedBytes) {
  const Bytes full = FrameBuilder().Ethernet(kDst, kSrc, 0x88cc).Zeros(46).Build();
  for (std::size_t n = 0; n <= 16; ++n) {
    // A heap copy of exactly n bytes, so the sanitizer sees any over-read.
    const std::vector<std::uint8_t> prefix(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
    const TreeDecode t = DecodeTreeOf(prefix);
    EXPECT_TRUE(RangesWithin(t.tree, static_cast<std::uint32_t>(n))) << n;
    const SummaryDecode s = DecodeSummaryOf(prefix);
    EXPECT_EQ(s.row.hasDstMac, n >= 6) << n;
    EXPECT_EQ(s.row.hasSrcMac, n >= 12) << n;
  }
}

}  // namespace
}  // namespace qv
