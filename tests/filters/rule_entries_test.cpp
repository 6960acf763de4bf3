// What the MAC, IP and port inputs accept.

#include <gtest/gtest.h>

#include "filters/rule_entries.h"

namespace qv {
namespace {

TEST(MacEntry, AcceptsSixGroupsOfOneOrTwoHexDigitsUpperCased) {
  const std::pair<const char*, const char*> accepted[] = {
      {"aa:bb:cc:dd:ee:ff", "AA:BB:CC:DD:EE:FF"},
      {"0:1:2:3:4:5", "0:1:2:3:4:5"},
      {"00:1a:B2:c:04:Ff", "00:1A:B2:C:04:FF"},
  };
  for (const auto& [typed, stored] : accepted) EXPECT_EQ(MacEntryText(typed), stored) << typed;
  for (const char* typed : {"", "AA:BB:CC:DD:EE", "AA:BB:CC:DD:EE:FF:00", "AA:BB:CC:DD:EE:FF:", "AAA:BB:CC:DD:EE:FF",
                            "AA::CC:DD:EE:FF", "AG:BB:CC:DD:EE:FF", "AA:BB:CC:DD:EE:F ", ":AA:BB:CC:DD:EE",
                            "AA-BB-CC-DD-EE-FF"}) {
    EXPECT_FALSE(MacEntryText(typed)) << '"' << typed << '"';
  }
}

TEST(IpEntry, BlankFieldsCountAsZeroButAllBlankIsRefused) {
  EXPECT_EQ(IpEntryText({10, 0, 0, 1}), "10.0.0.1");
  EXPECT_EQ(IpEntryText({std::nullopt, 168, std::nullopt, 7}), "0.168.0.7");
  EXPECT_FALSE(IpEntryText({std::nullopt, std::nullopt, std::nullopt, std::nullopt}));
}

TEST(PortEntry, DigitsUpTo65535) {
  for (const char* typed : {"0", "80", "65535", "000000000000000000000080"}) EXPECT_TRUE(IsPortEntry(typed)) << typed;
  // 4294967376 wraps to 80 in 32 bits; 18446744073709551696 in 64.
  for (const char* typed : {"", "65536", "8o", " 80", "-1", "+80", "4294967376", "18446744073709551696"}) {
    EXPECT_FALSE(IsPortEntry(typed)) << '"' << typed << '"';
  }
}

}  // namespace
}  // namespace qv
