#include "decode/bpdu.h"

#include <gtest/gtest.h>

#include "decode_helpers.h"

namespace qv {
namespace {

using namespace qv::testing;

const framegen::Mac kBridgeGroup{0x01, 0x80, 0xc2, 0x00, 0x00, 0x00};
const framegen::Mac kSrc{0x00, 0x1c, 0x0e, 0x87, 0x85, 0x04};

// A configuration BPDU: root 8000.001c0e877800, cost 4, bridge
// 8000.001c0e878500, port 0x8001, age 1, max age 20, hello 2, forward delay 15
// (the timers in 1/256 s on the wire; bytes as a bridge sends them).
const char* const kConfigurationBpdu =
    "0000 00 00 00"
    "8000 001c0e877800"
    "00000004"
    "8000 001c0e878500"
    "8001"
    "0100 1400 0200 0f00";

Bytes BpduFrame() {
  return FrameBuilder().Ieee8023(kBridgeGroup, kSrc).Llc(0x42, 0x42, 0x03).Raw(Hex(kConfigurationBpdu)).PadTo(60).Build();
}

TEST(Bpdu, FieldsWithTwoByteNumbersReadLeastSignificantByteFirst) {
  const Bytes frame = BpduFrame();
  RecordingScripts scripts;
  const TreeDecode t = DecodeTreeOf(frame, &scripts);
  EXPECT_EQ(t.text,
            "IEEE 802.2 [0,14)\n"
            "  Destination MAC: 01:80:C2:00:00:00 - Multicast [0,6)\n"
            "  Source MAC: 00:1C:0E:87:85:04 [6,12)\n"
            "  Length: 38 (0x26) [12,14)\n"
            "LLC [14,17)\n"
            "  DSAP: 0x42 (BPDU) - Individual DSAP [14,15)\n"
            "  SSAP: 0x42 (BPDU) - Command [15,16)\n"
            "  Control: 0x03 - Unnumberd Information [16,17)\n"
            "BPDU [17,52)\n"
            "  Protocol identifier: 0 (0x0000) [17,19)\n"
            "  Protocol version identifier: 0 (0x00) [19,20)\n"
            "  BPDU type: 0 (0x00) [20,21)\n"
            "  Flags: 0 (0x00) [21,22)\n"
            "  Root identifier: 80.00.00.1c.0e.87.78.00 [22,30)\n"
            "  Root path cost: 00000004 [30,34)\n"
            "  Bridge identifier: 80.00.00.1c.0e.87.85.00 [34,42)\n"
            "  Port identifier: 384 (0x0180) [42,44)\n"
            "  Message age: 1 (0x0001) [44,46)\n"
            "  Max age: 20 (0x0014) [46,48)\n"
            "  Hello time: 2 (0x0002) [48,50)\n"
            "  Forward delay: 15 (0x000f) [50,52)\n");
  // LLC, BPDU, and the padding after the 35 bytes as a layer of its own.
  EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{14, 17, 52}));
  EXPECT_TRUE(scripts.offers.empty());

  const SummaryDecode s = DecodeSummaryOf(frame);
  EXPECT_EQ(s.row.ProtocolsText(), "LLC BPDU ");
  EXPECT_EQ(s.sink.protocols, (std::vector<std::string>{"IEEE 802.2/1", "LLC/1", "BPDU/1"}));
}

TEST(Bpdu, ProtocolIdentifierAndFlagsKeepTheirBytes) {
  // Bytes 01 02 read as 0x0201; a rapid spanning tree BPDU (version 2, type 2)
  // with proposal and agreement flags.
  const Bytes frame = FrameBuilder()
                          .Ieee8023(kBridgeGroup, kSrc)
                          .Llc(0x42, 0x42, 0x03)
                          .Raw(Hex("0102 02 02 7c"))
                          .Zeros(31)
                          .Build();
  const std::string text = DecodeTreeOf(frame).text;
  EXPECT_NE(text.find("  Protocol identifier: 513 (0x0201) [17,19)\n"
                      "  Protocol version identifier: 2 (0x02) [19,20)\n"
                      "  BPDU type: 2 (0x02) [20,21)\n"
                      "  Flags: 124 (0x7c) [21,22)\n"),
            std::string::npos)
      << text;
}

TEST(Bpdu, EveryPrefixDecodesWithinTheCapturedBytes) {
  const Bytes full = BpduFrame();
  // Where each field line ends; a line shows only when all its bytes are there.
  const std::uint32_t fieldEnds[] = {19, 20, 21, 22, 30, 34, 42, 44, 46, 48, 50, 52};
  for (std::size_t n = 0; n <= full.size(); ++n) {
    const std::vector<std::uint8_t> prefix(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
    const TreeDecode t = DecodeTreeOf(prefix);
    EXPECT_TRUE(RangesWithin(t.tree, static_cast<std::uint32_t>(n))) << n;
    const std::vector<NodeId> layers = t.tree.TopLevel();
    std::size_t expectedLines = 0;
    for (std::uint32_t end : fieldEnds) expectedLines += end <= n ? 1 : 0;
    if (n > 17) {
      ASSERT_EQ(layers.size(), 3u) << n;
      EXPECT_EQ(t.tree.Children(layers[2]).size(), expectedLines) << n;
      ASSERT_EQ(t.layerStarts.size(), 3u) << n;
      EXPECT_EQ(t.layerStarts[1], 17);
      EXPECT_LE(t.layerStarts[2], static_cast<std::int32_t>(n)) << n;
    }
    const SummaryDecode s = DecodeSummaryOf(prefix);
    EXPECT_EQ(s.row.ProtocolsText(), n > 17 ? "LLC BPDU " : n > 14 ? "LLC " : "") << n;
  }
}

}  // namespace
}  // namespace qv
