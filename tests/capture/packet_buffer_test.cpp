#include "capture/packet_buffer.h"

#include <gtest/gtest.h>

#include <vector>

namespace qv {
namespace {

FrameHeader Header(std::uint32_t length, std::uint32_t seconds = 1) {
  return {seconds, 7, length, length + 4};
}

TEST(PacketBuffer, NumbersRunFromZeroAndRestartAfterClear) {
  PacketBuffer buffer;
  const std::vector<std::uint8_t> bytes(100, 0xab);
  for (std::uint32_t i = 0; i < 3; ++i) {
    const auto added = buffer.Append(Header(60 + i), bytes.data());
    EXPECT_EQ(added.record.number, i);
    EXPECT_EQ(added.count, i + 1);
  }
  EXPECT_EQ(buffer.BufferedBytes(), 60u + 61u + 62u);
  const auto second = buffer.Find(1);
  ASSERT_TRUE(second);
  EXPECT_EQ(second->capturedLength, 61u);
  EXPECT_EQ(second->wireLength, 65u);
  EXPECT_EQ(second->bytes.size(), 61u);
  EXPECT_FALSE(buffer.Find(3));

  buffer.Clear();
  EXPECT_EQ(buffer.Count(), 0u);
  EXPECT_EQ(buffer.BufferedBytes(), 0u);
  EXPECT_FALSE(buffer.Find(0));
  EXPECT_EQ(buffer.Append(Header(60), bytes.data()).record.number, 0u);
}

TEST(PacketBuffer, KeepsEveryFrameIntactAcrossBlocksAndJumboFrames) {
  PacketBuffer buffer;
  // Enough frames to fill several storage blocks and index chunks, with a few
  // jumbo frames (which get storage of their own) in between.
  std::vector<std::uint32_t> lengths;
  for (std::uint32_t i = 0; i < 40000; ++i) lengths.push_back(i % 997 == 0 ? 2'000'000 : 60 + i % 1455);
  for (std::uint32_t i = 0; i < lengths.size(); ++i) {
    std::vector<std::uint8_t> bytes(lengths[i], static_cast<std::uint8_t>(i));
    buffer.Append(Header(lengths[i], i), bytes.data());
  }
  for (std::uint32_t i = 0; i < lengths.size(); i += 37) {
    const auto r = buffer.Find(i);
    ASSERT_TRUE(r);
    ASSERT_EQ(r->bytes.size(), lengths[i]);
    EXPECT_EQ(r->seconds, i);
    EXPECT_EQ(r->bytes.front(), static_cast<std::uint8_t>(i));
    EXPECT_EQ(r->bytes.back(), static_cast<std::uint8_t>(i));
  }
  EXPECT_EQ(buffer.MaxCapturedLength(), 2'000'000u);
}

TEST(PacketBuffer, VisitsNewestFirst) {
  PacketBuffer buffer;
  const std::uint8_t byte = 0;
  for (int i = 0; i < 4; ++i) buffer.Append(Header(1), &byte);
  std::vector<std::uint32_t> order;
  buffer.ForEachNewestFirst([&](const PacketRecord& r) { order.push_back(r.number); });
  EXPECT_EQ(order, (std::vector<std::uint32_t>{3, 2, 1, 0}));
}

}  // namespace
}  // namespace qv
