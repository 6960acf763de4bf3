// The filter history and the field columns as the settings keep them: the
// order survives a round trip, and a damaged file gives a usable list.

#include <gtest/gtest.h>

#include "filters/filter_settings.h"

namespace qv {
namespace {

TEST(FilterHistory, NewestFirstWithoutRepeatsAndAtMostTwenty) {
  std::vector<std::string> history;
  RememberFilter(history, "tcp");
  RememberFilter(history, "udp");
  RememberFilter(history, "  tcp ");  // moves up, not in twice
  EXPECT_EQ(history, (std::vector<std::string>{"tcp", "udp"}));
  RememberFilter(history, "");
  RememberFilter(history, "two\nlines");
  RememberFilter(history, std::string(kMaxHistoryText + 1, 'x'));
  EXPECT_EQ(history.size(), 2u);
  for (int i = 0; i < 30; ++i) RememberFilter(history, "frame.number == " + std::to_string(i));
  ASSERT_EQ(history.size(), kFilterHistorySize);
  EXPECT_EQ(history.front(), "frame.number == 29");
  EXPECT_EQ(history.back(), "frame.number == 10");
}

TEST(FilterHistory, RoundTripAndAShorterListLeavesNoOldEntries) {
  MemorySettingsStore store;
  std::vector<std::string> history;
  for (int i = 0; i < 25; ++i) RememberFilter(history, "udp.port == " + std::to_string(i));
  ASSERT_TRUE(SaveFilterHistory(store, history));
  EXPECT_EQ(LoadFilterHistory(store), history);
  ASSERT_TRUE(SaveFilterHistory(store, {"dns", "arp"}));
  EXPECT_EQ(LoadFilterHistory(store), (std::vector<std::string>{"dns", "arp"}));
  EXPECT_TRUE(LoadFilterHistory(MemorySettingsStore()).empty());
}

TEST(FilterHistory, ADamagedFileGivesWhatIsUsable) {
  MemorySettingsStore store;
  store.SetString("ListFilter", "History1", "");
  store.SetString("ListFilter", "History2", "tcp");
  store.SetString("ListFilter", "History3", "tcp");
  store.SetString("ListFilter", "History4", std::string(100000, 'a'));
  store.SetString("ListFilter", "History5", "a\r\nb");
  store.SetInt("ListFilter", "History6", 7);  // not a text
  store.SetString("ListFilter", "History9", "dns");  // after a gap
  store.SetString("ListFilter", "History21", "beyond the list");
  EXPECT_EQ(LoadFilterHistory(store), (std::vector<std::string>{"tcp", "dns"}));
}

TEST(FieldColumns, OnlyKnownFieldsOnceEach) {
  MemorySettingsStore store;
  ASSERT_TRUE(SaveFieldColumns(store, {"dns.qry.name", "ip.src"}));
  EXPECT_EQ(LoadFieldColumns(store), (std::vector<std::string>{"dns.qry.name", "ip.src"}));
  store.SetString("Columns", "Field3", "no.such.field");
  store.SetString("Columns", "Field4", "ip.src");
  store.SetString("Columns", "Field5", " tcp.srcport ");
  EXPECT_EQ(LoadFieldColumns(store), (std::vector<std::string>{"dns.qry.name", "ip.src", "tcp.srcport"}));
  ASSERT_TRUE(SaveFieldColumns(store, {}));
  EXPECT_TRUE(LoadFieldColumns(store).empty());
}

}  // namespace
}  // namespace qv
