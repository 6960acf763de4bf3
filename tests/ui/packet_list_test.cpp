// Ordering and status texts of the packet list.

#include <gtest/gtest.h>

#include "capture/packet_row.h"
#include "ui/packet_sort.h"
#include "ui/status_texts.h"

namespace qv {
namespace {

TEST(PacketSort, ComparesFieldByFieldAsNumbers) {
  struct Case {
    const char* a;
    const char* b;
    int column;
    int expected;
  };
  const Case cases[] = {
      {"09:59:59:999999", "10:00:00:000001", kColumnTime, -1},
      {"10:00:00:000001", "10:00:00:000001", kColumnTime, 0},
      {"23:00:00:000000", "03:00:00:000000", kColumnTime, 1},
      {"60", "1514", kColumnSize, -1},
      {"0:a0:c9:14:c8:29", "0:1b:21:3a:4f:1", kColumnSrcMac, 1},  // hex, not text: a0 > 1b
      {"ff:0:0:0:0:0", "f:ff:ff:ff:ff:ff", kColumnDestMac, 1},
      {"Broadcast", "Multicast", kColumnDestMac, 1},  // "B" reads as hex 0xB, "M" as nothing
      {"10.0.0.2", "9.255.255.255", kColumnSrcIp, 1},
      {"----", "0.0.0.0", kColumnDestIp, 0},  // the placeholder counts as 0
      {"----", "1", kColumnSrcPort, -1},
      {"8080", "80", kColumnDestPort, 1},
      {"IPv4 UDP ", "IPv4 TCP ", kColumnProtocols, 1},
      {"arp ", "ARP ", kColumnProtocols, 1},  // case-sensitive
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CompareColumnTexts(c.a, c.b, c.column), c.expected) << c.a << " vs " << c.b;
    EXPECT_EQ(CompareColumnTexts(c.b, c.a, c.column), -c.expected) << c.b << " vs " << c.a;
    if (!IsTextColumn(c.column)) {
      // The keys used to sort a million rows order the same way.
      const auto ka = NumericSortKey(c.a, c.column);
      const auto kb = NumericSortKey(c.b, c.column);
      EXPECT_EQ((ka > kb) - (ka < kb), c.expected) << c.a << " vs " << c.b;
    }
  }
}

TEST(StatusTexts, SizeFormatBoundaries) {
  EXPECT_EQ(SizeStatusText(0), "Size: 0 B");
  EXPECT_EQ(SizeStatusText(1024), "Size: 1024 B");
  EXPECT_EQ(SizeStatusText(1025), "Size: 1.00 KB");
  EXPECT_EQ(SizeStatusText(1048576), "Size: 1024.00 KB");
  EXPECT_EQ(SizeStatusText(1048577), "Size: 1.00 MB");
  EXPECT_EQ(SizeStatusText(10000000), "Size: 9.54 MB");
  EXPECT_EQ(CountStatusText(5000), "Count: 5000");
}

}  // namespace
}  // namespace qv
