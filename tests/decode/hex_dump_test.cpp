#include "decode/hex_dump.h"

#include <gtest/gtest.h>

#include <numeric>

namespace qv {
namespace {

TEST(HexDump, PanesOfSeventeenBytes) {
  std::vector<std::uint8_t> bytes(17);
  std::iota(bytes.begin(), bytes.end(), 0x20);  // blank, then printable
  bytes[16] = 0x80;                             // negative as a signed char
  const HexDumpPanes panes = FormatHexDump(bytes);
  EXPECT_EQ(panes.addresses, "0000\n0016");
  EXPECT_EQ(panes.hex,
            "20 21 22 23 24 25 26 27  28 29 2a 2b 2c 2d 2e 2f  \n"
            "80 ");
  EXPECT_EQ(panes.text, ".!\"#$%&'()*+,-./\n.");
}

TEST(HexDump, NoLineBreakAfterTheLastFullLine) {
  const HexDumpPanes panes = FormatHexDump(std::vector<std::uint8_t>(16, 0x41));
  EXPECT_EQ(panes.addresses, "0000");
  EXPECT_EQ(panes.text, "AAAAAAAAAAAAAAAA");
  EXPECT_EQ(panes.hex.find('\n'), std::string::npos);
}

TEST(HexDump, LayerColoursCycleThroughFour) {
  // Ethernet, IPv4, TCP, payload.
  const std::vector<std::int32_t> tcp{14, 34, 54};
  EXPECT_EQ(LayerColour(0, tcp), 1);
  EXPECT_EQ(LayerColour(13, tcp), 1);
  EXPECT_EQ(LayerColour(14, tcp), 2);
  EXPECT_EQ(LayerColour(33, tcp), 2);
  EXPECT_EQ(LayerColour(34, tcp), 3);
  EXPECT_EQ(LayerColour(54, tcp), 4);
  // The same start twice (dispatch and tail of an unknown EtherType).
  EXPECT_EQ(LayerColour(20, {14, 14}), 3);
  // A fifth segment takes colour 1 again.
  EXPECT_EQ(LayerColour(100, {10, 20, 30, 40}), 1);
  EXPECT_EQ(LayerColour(5, {}), 1);
}

}  // namespace
}  // namespace qv
