// Field columns: a frame's occurrences of each field, joined by "," as
// tshark -T fields aggregates them, and the numbers they sort by.

#include <gtest/gtest.h>

#include "decode_helpers.h"
#include "filters/field_column.h"

namespace qv {
namespace {

using testing::FrameBuilder;
using testing::Hex;

PacketRecord RecordOf(const testing::Bytes& bytes, std::uint32_t number, std::uint32_t seconds) {
  PacketRecord r;
  r.number = number;
  r.seconds = seconds;
  r.microseconds = 250000;
  r.capturedLength = static_cast<std::uint32_t>(bytes.size());
  r.wireLength = r.capturedLength;
  r.bytes = bytes;
  return r;
}

TEST(FieldColumnReader, JoinsOccurrencesAndKeepsTheFirstNumber) {
  // Two questions in one DNS query.
  const testing::Bytes frame = FrameBuilder()
                                   .Ethernet({0, 1, 2, 3, 4, 5}, {0, 1, 2, 3, 4, 6}, 0x0800)
                                   .Ipv4({10, 0, 0, 5}, {10, 0, 0, 1}, 17)
                                   .Udp(40000, 53)
                                   .Raw(Hex("1234 0100 0002 0000 0000 0000"))
                                   .Raw(Hex("01 61 03 63 6f 6d 00 0001 0001"))
                                   .Raw(Hex("01 62 03 6f 72 67 00 001c 0001"))
                                   .Build();
  std::vector<const FieldInfo*> fields;
  for (const char* name : {"dns.qry.name", "ip.addr", "udp.srcport", "frame.number", "frame.time_delta", "tcp.port"}) {
    fields.push_back(FindField(name));
    ASSERT_NE(fields.back(), nullptr) << name;
  }
  FieldColumnReader reader(fields, DecodeSetup{EnabledDecoders::All(), nullptr});
  reader.SetFirstTime(0);
  const std::vector<FieldColumnValue> v = reader.Read(RecordOf(frame, 6, 100), std::int64_t{99'000'000'000});
  ASSERT_EQ(v.size(), fields.size());
  EXPECT_EQ(v[0].text, "a.com,b.org");
  EXPECT_FALSE(v[0].hasNumber);
  EXPECT_EQ(v[1].text, "10.0.0.5,10.0.0.1");
  EXPECT_EQ(v[2].text, "40000");
  EXPECT_TRUE(v[2].hasNumber);
  EXPECT_EQ(v[2].number, 40000u);
  EXPECT_EQ(v[3].text, "7");  // counted from 1
  EXPECT_EQ(v[4].text, "1.250000000");
  EXPECT_EQ(v[5].text, "");  // no TCP in the frame
  EXPECT_FALSE(v[5].hasNumber);

  // The reader goes on with the next frame: nothing of the one before stays.
  const testing::Bytes arp = FrameBuilder()
                                 .Ethernet(framegen::kBroadcast, {0, 1, 2, 3, 4, 5}, 0x0806)
                                 .Arp(1, {0, 1, 2, 3, 4, 5}, {10, 0, 0, 5}, {0, 0, 0, 0, 0, 0}, {10, 0, 0, 1})
                                 .Build();
  const std::vector<FieldColumnValue> next = reader.Read(RecordOf(arp, 7, 101), std::nullopt);
  EXPECT_EQ(next[0].text, "");
  EXPECT_EQ(next[1].text, "");
  EXPECT_EQ(next[3].text, "8");
  EXPECT_EQ(next[4].text, "0.000000000");
}

}  // namespace
}  // namespace qv
