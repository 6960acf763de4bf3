// Sorting by a field column on the worker: by number for numeric fields
// (signed ones too), by text otherwise, rows without the field first, equal
// values in capture order.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "decode_helpers.h"
#include "filters/field_sort.h"

namespace qv {
namespace {

using testing::FrameBuilder;

testing::Bytes Udp(std::uint16_t sourcePort) {
  return FrameBuilder()
      .Ethernet({0, 1, 2, 3, 4, 5}, {0, 1, 2, 3, 4, 6}, 0x0800)
      .Ipv4({10, 0, 0, 5}, {10, 0, 0, 1}, 17)
      .Udp(sourcePort, 9)
      .Build();
}

testing::Bytes Arp() {
  return FrameBuilder()
      .Ethernet(framegen::kBroadcast, {0, 1, 2, 3, 4, 5}, 0x0806)
      .Arp(1, {0, 1, 2, 3, 4, 5}, {10, 0, 0, 5}, {0, 0, 0, 0, 0, 0}, {10, 0, 0, 1})
      .Build();
}

std::vector<std::uint32_t> Sorted(const PacketBuffer& buffer, const char* field, std::vector<std::uint32_t> shown) {
  const FieldInfo* f = FindField(field);
  EXPECT_NE(f, nullptr) << field;
  if (f == nullptr) return {};
  FieldSortJob job(buffer, *f, DecodeSetup{EnabledDecoders::All(), nullptr}, 0, std::move(shown));
  for (int i = 0; i < 10000 && !job.Done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_TRUE(job.Done());
  EXPECT_EQ(job.Read(), job.Rows());
  return job.TakeOrder();
}

TEST(FieldSortJob, OrdersByTheFieldsValue) {
  PacketBuffer buffer;
  // Frame 2 was stamped before frame 1: a negative time delta.
  const struct {
    testing::Bytes frame;
    std::uint32_t seconds;
  } frames[] = {{Udp(900), 10}, {Udp(80), 12}, {Udp(1000), 11}, {Arp(), 13}, {Udp(80), 14}, {Udp(443), 16}};
  for (const auto& f : frames) {
    FrameHeader header;
    header.seconds = f.seconds;
    header.capturedLength = header.wireLength = static_cast<std::uint32_t>(f.frame.size());
    buffer.Append(header, f.frame.data());
  }
  const std::vector<std::uint32_t> all{0, 1, 2, 3, 4, 5};
  // As numbers, not as texts ("1000" < "443" < "80" < "900").
  EXPECT_EQ(Sorted(buffer, "udp.srcport", all), (std::vector<std::uint32_t>{3, 1, 4, 5, 0, 2}));
  EXPECT_EQ(Sorted(buffer, "udp.srcport", {0, 2, 5}), (std::vector<std::uint32_t>{5, 0, 2}));
  // Deltas 0, 2, -1, 2, 1, 2 seconds.
  EXPECT_EQ(Sorted(buffer, "frame.time_delta", all), (std::vector<std::uint32_t>{2, 0, 4, 1, 3, 5}));
  EXPECT_EQ(Sorted(buffer, "ip.src", all), (std::vector<std::uint32_t>{3, 0, 1, 2, 4, 5}));
  // An empty list, and numbers no longer held, sort without trouble.
  EXPECT_TRUE(Sorted(buffer, "udp.srcport", {}).empty());
  EXPECT_EQ(Sorted(buffer, "udp.srcport", {4, 70, 90000}), (std::vector<std::uint32_t>{70, 90000, 4}));
}

}  // namespace
}  // namespace qv
