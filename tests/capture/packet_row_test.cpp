#include "capture/packet_row.h"

#include <gtest/gtest.h>

#include "decode_helpers.h"

namespace qv {
namespace {

using namespace qv::testing;

PacketRecord RecordOf(const Bytes& frame, std::uint32_t wireLength, std::uint32_t seconds = 0,
                      std::uint32_t microseconds = 0) {
  PacketRecord r;
  r.capturedLength = static_cast<std::uint32_t>(frame.size());
  r.bytes = frame;
  r.wireLength = wireLength;
  r.seconds = seconds;
  r.microseconds = microseconds;
  return r;
}

TEST(PacketRow, DestinationColumnNamesBroadcastAndMulticast) {
  struct Case {
    framegen::Mac dst;
    const char* text;
  };
  const Case cases[] = {
      {{0x01, 0x00, 0x5e, 0, 0, 1}, "Multicast"},
      {{0x33, 0x33, 0, 0, 0, 1}, "Multicast"},
      {{0x2b, 0, 0, 0, 0, 1}, "Multicast"},
      {{0xff, 0xff, 0xff, 0xff, 0xff, 0xff}, "Broadcast"},
      {{0x00, 0xa0, 0xc9, 0x14, 0xc8, 0x29}, "0:a0:c9:14:c8:29"},
      {{0x2a, 0, 0, 0, 0, 1}, "2a:0:0:0:0:1"},
  };
  for (const Case& c : cases) {
    const Bytes frame = FrameBuilder().Ethernet(c.dst, {0, 1, 2, 3, 4, 5}, 0x9000).Zeros(46).Build();
    EXPECT_EQ(DestMacColumnText(DecodeSummaryOf(frame).row), c.text);
  }
}

TEST(PacketRow, FrameWithoutIpShowsPlaceholdersAndWireLength) {
  const Bytes frame = FrameBuilder().Ethernet({0, 0xa0, 0xc9, 0x14, 0xc8, 0x29}, {0, 1, 2, 3, 4, 5}, 0x88cc)
                          .Zeros(46).Build();
  // Captured 60 bytes of a 1514-byte frame: "Size" is the wire length.
  const auto texts = ColumnTexts(RecordOf(frame, 1514, 9 * 3600 + 5 * 60 + 3, 7), DecodeSummaryOf(frame).row);
  EXPECT_EQ(texts[kColumnTime], "09:05:03:000007");  // tests run with TZ=UTC
  EXPECT_EQ(texts[kColumnSize], "1514");
  EXPECT_EQ(texts[kColumnSrcMac], "0:1:2:3:4:5");
  EXPECT_EQ(texts[kColumnDestMac], "0:a0:c9:14:c8:29");
  for (int c : {kColumnSrcIp, kColumnDestIp, kColumnSrcPort, kColumnDestPort}) EXPECT_EQ(texts[c], "----") << c;
  EXPECT_EQ(texts[kColumnProtocols], "");
}

TEST(PacketRow, TimeTextUsesAColonBeforeSixMicrosecondDigits) {
  EXPECT_EQ(TimeText(14 * 3600 + 3 * 60 + 7, 123), "14:03:07:000123");
  EXPECT_EQ(TimeText(23 * 3600 + 59 * 60 + 59, 999999), "23:59:59:999999");
  EXPECT_EQ(TimeText(0, 0), "00:00:00:000000");
}

TEST(PacketRow, ColourFollowsTheOwnAddress) {
  const std::array<std::uint8_t, 6> own{0x00, 0xa0, 0xc9, 0x14, 0xc8, 0x29};
  const std::array<std::uint8_t, 6> other{0x00, 0x1b, 0x21, 0x3a, 0x4f, 0x01};
  const PacketSummary sent = DecodeSummaryOf(FrameBuilder().Ethernet(other, own, 0x9000).Zeros(46).Build()).row;
  const PacketSummary received = DecodeSummaryOf(FrameBuilder().Ethernet(own, other, 0x9000).Zeros(46).Build()).row;
  const PacketSummary unrelated = DecodeSummaryOf(FrameBuilder().Ethernet(other, other, 0x9000).Zeros(46).Build()).row;
  const PacketSummary zeroMacs = DecodeSummaryOf(FrameBuilder().Ethernet({}, {}, 0x9000).Zeros(46).Build()).row;
  EXPECT_EQ(RowColour(own, sent), kRowSentByUs);
  EXPECT_EQ(RowColour(own, received), kRowSentToUs);
  EXPECT_EQ(RowColour(own, unrelated), kRowBlack);
  // An unknown own address matches nothing, not even all-zero addresses.
  EXPECT_EQ(RowColour({}, zeroMacs), kRowBlack);
  EXPECT_EQ(RowColour({}, sent), kRowBlack);
}

}  // namespace
}  // namespace qv
