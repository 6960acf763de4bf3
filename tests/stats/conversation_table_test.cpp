#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>

#include <unistd.h>

#include "stats/conversation_export.h"
#include "stats/conversation_table.h"

namespace qv {
namespace {

IpAddress V4(std::uint8_t last) { return IpAddress::V4({10, 0, 0, last}); }

IpConversationSample Sample(std::uint8_t src, std::uint8_t dst, std::uint64_t length = 100, std::uint16_t dport = 80,
                            std::uint16_t sport = 1025) {
  IpConversationSample s;
  s.source = {10, 0, 0, src};
  s.destination = {10, 0, 0, dst};
  s.totalLength = length;
  s.destinationPort = dport;
  s.sourcePort = sport;
  return s;
}

// 2001:db8::src > 2001:db8::dst.
IpConversationSample Sample6(std::uint8_t src, std::uint8_t dst, std::uint64_t length = 100, std::uint16_t dport = 80,
                             std::uint16_t sport = 1025) {
  IpConversationSample s;
  s.ipv6 = true;
  s.source6 = {0x20, 0x01, 0x0d, 0xb8};
  s.source6[15] = src;
  s.destination6 = {0x20, 0x01, 0x0d, 0xb8};
  s.destination6[15] = dst;
  s.totalLength = length;
  s.destinationPort = dport;
  s.sourcePort = sport;
  return s;
}

IpAddress V6(std::uint8_t last) {
  Ipv6Address a{0x20, 0x01, 0x0d, 0xb8};
  a[15] = last;
  return IpAddress::V6(a);
}

// "src>dst packets bytes" per row, in list order.
std::vector<std::string> Summary(const ConversationTable& t) {
  std::vector<std::string> out;
  for (const ConversationRow& r : t.Rows()) {
    out.push_back(r.ColumnText(0) + ">" + r.ColumnText(1) + " " + r.ColumnText(2) + " " + r.ColumnText(3));
  }
  return out;
}

struct RecordingRequester : HostNameRequester {
  void RequestName(const IpAddress& address, std::size_t row, int column) override {
    requests.emplace_back(address.bytes[address.Size() - 1], row, column);
    addresses.push_back(address.Text());
  }
  std::vector<std::tuple<int, std::size_t, int>> requests;
  std::vector<std::string> addresses;
};

TEST(ConversationTable, EachDirectionIsItsOwnRowAndCountsAdd) {
  ConversationTable t;
  t.Update(Sample(1, 2, 60));
  t.Update(Sample(2, 1, 40));
  t.Update(Sample(1, 2, 1500));
  EXPECT_EQ(Summary(t), (std::vector<std::string>{"10.0.0.1>10.0.0.2 2 1560", "10.0.0.2>10.0.0.1 1 40"}));
  EXPECT_EQ(t.UpdateCounter(), 3);
  EXPECT_EQ(t.LastUpdatedRow(), 0);
  EXPECT_EQ(t.Rows()[0].stamp, 3);
  EXPECT_EQ(t.Rows()[1].stamp, 2);
}

TEST(ConversationTable, FullTableReusesTheLeastRecentlyUpdatedRow) {
  // Limit 2: X, Y, X again, then Z takes Y's row; then W takes X's.
  ConversationTable t;
  t.SetRowLimit(2);
  RecordingRequester names;
  t.SetNameRequester(&names);
  t.Update(Sample(1, 2));  // X
  t.Update(Sample(3, 4));  // Y
  t.Update(Sample(1, 2));  // X
  t.Update(Sample(5, 6, 7, 53, 53));  // Z
  EXPECT_EQ(Summary(t), (std::vector<std::string>{"10.0.0.1>10.0.0.2 2 200", "10.0.0.5>10.0.0.6 1 7"}));
  EXPECT_EQ(t.Rows()[1].ports, "53");
  EXPECT_EQ(t.LastUpdatedRow(), 1);
  t.Update(Sample(7, 8));  // W
  EXPECT_EQ(Summary(t), (std::vector<std::string>{"10.0.0.7>10.0.0.8 1 100", "10.0.0.5>10.0.0.6 1 7"}));
  // Y and X are gone from the index: they come back as new rows.
  t.Update(Sample(3, 4));
  EXPECT_EQ(Summary(t)[1], "10.0.0.3>10.0.0.4 1 100");
  // New and reused rows ask for both names; an update of a row does not.
  using R = std::tuple<int, std::size_t, int>;
  EXPECT_EQ(names.requests, (std::vector<R>{R{1, 0, 5}, R{2, 0, 6}, R{3, 1, 5}, R{4, 1, 6}, R{5, 1, 5}, R{6, 1, 6},
                                            R{7, 0, 5}, R{8, 0, 6}, R{3, 1, 5}, R{4, 1, 6}}));
  t.SetNameRequester(nullptr);
}

TEST(ConversationTable, LoweredLimitStopsGrowth) {
  ConversationTable t;
  for (std::uint8_t i = 1; i <= 5; ++i) t.Update(Sample(i, 100));
  t.SetRowLimit(2);
  t.Update(Sample(6, 100));
  EXPECT_EQ(t.RowCount(), 5u);
  EXPECT_EQ(t.Rows()[0].ColumnText(0), "10.0.0.6");
}

TEST(ConversationTable, PortsColumn) {
  struct Case {
    const char* name;
    std::vector<std::pair<std::uint16_t, std::uint16_t>> frames;  // destination, source
    std::string ports;
  };
  const Case cases[] = {
      {"first frame, destination first", {{80, 1025}}, "80, 1025"},
      {"equal ports written once", {{53, 53}}, "53"},
      {"known ports are not repeated", {{80, 1025}, {80, 1025}, {80, 1026}}, "80, 1025, 1026"},
      {"8080 hides 80 (substring test)", {{8080, 8080}, {80, 8080}}, "8080"},
      {"a new destination port joins before the source", {{80, 1}, {443, 2}}, "80, 1, 443, 2"},
      {"a pair seen before adds nothing", {{80, 1}, {443, 2}, {80, 1}, {80, 2}}, "80, 1, 443, 2"},
  };
  for (const Case& c : cases) {
    ConversationTable t;
    for (const auto& [dport, sport] : c.frames) t.Update(Sample(1, 2, 1, dport, sport));
    EXPECT_EQ(t.Rows().at(0).ports, c.ports) << c.name;
  }
}

TEST(ConversationTable, BytesKeepAll64Bits) {
  ConversationTable t;
  for (int i = 0; i < 3; ++i) t.Update(Sample(1, 2, 0x7FFFFFFFull));
  EXPECT_EQ(t.Rows()[0].ColumnText(3), "6442450941");
}

TEST(ConversationTable, CounterIsRenumberedBeforeItOverflows) {
  ConversationTable t;
  t.Update(Sample(1, 2));
  t.Update(Sample(3, 4));
  t.Update(Sample(5, 6));
  t.Update(Sample(1, 2));  // stamps: row 0 = 4, row 1 = 2, row 2 = 3
  t.SetUpdateCounterForTest(ConversationTable::kRenumberAt - 1);
  t.Update(Sample(3, 4));  // renumbered 0, 1, 2; then row 1 gets the counter, 3
  std::vector<std::int32_t> stamps;
  for (const ConversationRow& r : t.Rows()) stamps.push_back(r.stamp);
  EXPECT_EQ(stamps, (std::vector<std::int32_t>{0, 3, 2}));
  EXPECT_EQ(t.UpdateCounter(), 3);
  // The age order follows the new stamps: row 0 is now the oldest.
  t.SetRowLimit(3);
  t.Update(Sample(9, 9));
  EXPECT_EQ(t.Rows()[0].ColumnText(0), "10.0.0.9");
}

TEST(ConversationTable, NamesLandOnlyWhereTheAddressStillShows) {
  ConversationTable t;
  t.SetRowLimit(1);
  t.Update(Sample(1, 2));
  t.ApplyName(V4(1), 0, kSourceNameColumn, "alpha");
  t.ApplyName(V4(2), 0, kDestinationNameColumn, std::nullopt);
  t.ApplyName(V4(2), 5, kDestinationNameColumn, "no such row");
  EXPECT_EQ(t.Rows()[0].sourceName, "alpha");
  EXPECT_EQ(t.Rows()[0].destinationName, "----");
  t.Update(Sample(3, 4));  // reuses the row and empties its names
  t.ApplyName(V4(1), 0, kSourceNameColumn, "late");
  EXPECT_EQ(t.Rows()[0].sourceName, "");
  EXPECT_EQ(t.Rows()[0].destinationName, "");
}

TEST(ConversationTable, UseDnsOffAsksForNoNames) {
  ConversationTable t;
  RecordingRequester names;
  t.SetNameRequester(&names);
  t.SetUseDns(false);
  t.Update(Sample(1, 2));
  t.Update(Sample(2, 1));
  EXPECT_TRUE(names.requests.empty());
  EXPECT_EQ(t.Rows()[0].ColumnText(5), "");
  t.SetNameRequester(nullptr);
}

TEST(ConversationTable, ClearStartsOver) {
  ConversationTable t;
  t.Update(Sample(1, 2));
  const std::uint64_t version = t.Version();
  t.Clear();
  EXPECT_NE(t.Version(), version);
  EXPECT_EQ(t.RowCount(), 0u);
  EXPECT_EQ(t.UpdateCounter(), 0);
  EXPECT_EQ(t.LastUpdatedRow(), -1);
  EXPECT_EQ(t.Samples(), 0u);
  t.Update(Sample(1, 2));
  EXPECT_EQ(t.Rows()[0].stamp, 1);
}

TEST(ConversationTable, Ipv6PairsShareTheColumnsAndCounts) {
  ConversationTable t;
  t.Update(Sample6(1, 2, 60, 443, 50000));
  t.Update(Sample(1, 2, 40));
  t.Update(Sample6(1, 2, 1500, 443, 50001));
  t.Update(Sample6(2, 1, 80, 50000, 443));
  EXPECT_EQ(Summary(t), (std::vector<std::string>{"2001:db8::1>2001:db8::2 2 1560", "10.0.0.1>10.0.0.2 1 40",
                                                  "2001:db8::2>2001:db8::1 1 80"}));
  EXPECT_EQ(t.Rows()[0].ports, "443, 50000, 50001");
  EXPECT_EQ(t.Rows()[2].ports, "50000, 443");
  EXPECT_EQ(t.Samples(), 4u);
  EXPECT_EQ(t.Bytes(), 1680u);
  EXPECT_EQ(t.LastUpdatedRow(), 2);

  // RFC 5952 text: the longest run of zero groups folds, lower-case hex, and
  // an IPv4-mapped address ends in dotted decimal.
  IpConversationSample s = Sample6(0, 0);
  s.source6 = {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0xAB, 0xCD};
  s.destination6 = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 192, 0, 2, 1};
  t.Update(s);
  EXPECT_EQ(t.Rows()[3].ColumnText(0), "2001:db8:0:1::abcd");
  EXPECT_EQ(t.Rows()[3].ColumnText(1), "::ffff:192.0.2.1");
}

TEST(ConversationTable, FamiliesNeverShareARow) {
  ConversationTable t;
  t.Update(Sample(1, 2));
  // An IPv6 pair whose first bytes are the IPv4 pair's, and one that maps it.
  IpConversationSample lookalike = Sample6(0, 0);
  lookalike.source6 = {10, 0, 0, 1};
  lookalike.destination6 = {10, 0, 0, 2};
  lookalike.source = {10, 0, 0, 1};  // left over in the IPv4 fields: not used
  lookalike.destination = {10, 0, 0, 2};
  t.Update(lookalike);
  IpConversationSample mapped = Sample6(0, 0);
  mapped.source6 = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 10, 0, 0, 1};
  mapped.destination6 = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 10, 0, 0, 2};
  t.Update(mapped);
  t.Update(Sample(1, 2));
  EXPECT_EQ(Summary(t), (std::vector<std::string>{"10.0.0.1>10.0.0.2 2 200", "a00:1::>a00:2:: 1 100",
                                                  "::ffff:10.0.0.1>::ffff:10.0.0.2 1 100"}));

  // A name for the IPv4 address does not land on the IPv6 row that begins
  // with the same bytes, and the other way round.
  t.ApplyName(IpAddress::V6({10, 0, 0, 1}), 0, kSourceNameColumn, "six");
  t.ApplyName(V4(1), 1, kSourceNameColumn, "four");
  EXPECT_EQ(t.Rows()[0].sourceName, "");
  EXPECT_EQ(t.Rows()[1].sourceName, "");
  t.ApplyName(IpAddress::V6({10, 0, 0, 1}), 1, kSourceNameColumn, "six");
  EXPECT_EQ(t.Rows()[1].sourceName, "six");
}

TEST(ConversationTable, FullTableReusesRowsAcrossFamilies) {
  // Limit 2: X (IPv4), Y (IPv6), X, then Z (IPv6) takes Y's row; then W
  // (IPv4) takes X's; Y comes back as a new pair.
  ConversationTable t;
  t.SetRowLimit(2);
  RecordingRequester names;
  t.SetNameRequester(&names);
  t.Update(Sample(1, 2));                   // X
  t.Update(Sample6(3, 4));                  // Y
  t.Update(Sample(1, 2));                   // X
  t.Update(Sample6(5, 6, 7, 53, 53));   // Z
  EXPECT_EQ(Summary(t), (std::vector<std::string>{"10.0.0.1>10.0.0.2 2 200", "2001:db8::5>2001:db8::6 1 7"}));
  EXPECT_EQ(t.Rows()[1].ports, "53");
  EXPECT_EQ(t.Rows()[1].sourceName, "");
  t.Update(Sample(7, 8));  // W
  t.Update(Sample6(3, 4));  // Y again
  EXPECT_EQ(Summary(t), (std::vector<std::string>{"10.0.0.7>10.0.0.8 1 100", "2001:db8::3>2001:db8::4 1 100"}));
  EXPECT_EQ(t.RowCount(), 2u);
  EXPECT_EQ(names.addresses,
            (std::vector<std::string>{"10.0.0.1", "10.0.0.2", "2001:db8::3", "2001:db8::4", "2001:db8::5",
                                      "2001:db8::6", "10.0.0.7", "10.0.0.8", "2001:db8::3", "2001:db8::4"}));
  using R = std::tuple<int, std::size_t, int>;
  EXPECT_EQ(names.requests, (std::vector<R>{R{1, 0, 5}, R{2, 0, 6}, R{3, 1, 5}, R{4, 1, 6}, R{5, 1, 5}, R{6, 1, 6},
                                            R{7, 0, 5}, R{8, 0, 6}, R{3, 1, 5}, R{4, 1, 6}}));
  t.SetNameRequester(nullptr);
}

TEST(ConversationTable, ManyPairsChurningTheRowsMatchAPlainModel) {
  // Thousands of pairs over a table of 30 rows, and of 1000: nearly every
  // frame gives a row to a new pair, now and then of the other family. The
  // rows must be exactly those of a model that scans its rows and reuses
  // the one updated longest ago.
  for (const int limit : {30, 1000}) {
    ConversationTable t;
    t.SetRowLimit(limit);
    struct ModelRow {
      IpAddress source, destination;
      std::uint64_t packets, bytes;
      int stamp;
    };
    std::vector<ModelRow> model;
    std::uint64_t state = 12345;
    for (int frame = 1; frame <= 20000; ++frame) {
      state = state * 6364136223846793005ull + 1442695040888963407ull;
      const auto pair = static_cast<std::uint32_t>((state >> 33) % 3000);
      IpConversationSample s;
      // Few distinct bytes over many networks: keys that share most bits.
      s.ipv6 = pair % 7 == 0;
      if (s.ipv6) {
        s.source6 = {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, static_cast<std::uint8_t>(pair % 60)};
        s.destination6 = {0xfd, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, static_cast<std::uint8_t>(pair / 60)};
      } else {
        s.source = {10, 0, static_cast<std::uint8_t>(pair % 60), 0};
        s.destination = {172, 16, 0, static_cast<std::uint8_t>(pair / 60)};
      }
      s.totalLength = 40 + pair % 1000;
      s.destinationPort = 443;
      s.sourcePort = 50000;
      t.Update(s);
      const IpAddress source = s.ipv6 ? IpAddress::V6(s.source6) : IpAddress::V4(s.source);
      const IpAddress destination = s.ipv6 ? IpAddress::V6(s.destination6) : IpAddress::V4(s.destination);
      auto found = std::find_if(model.begin(), model.end(),
                                [&](const ModelRow& r) { return r.source == source && r.destination == destination; });
      if (found == model.end()) {
        if (model.size() < static_cast<std::size_t>(limit)) {
          found = model.insert(model.end(), ModelRow{});
        } else {
          found = std::min_element(model.begin(), model.end(),
                                   [](const ModelRow& a, const ModelRow& b) { return a.stamp < b.stamp; });
        }
        *found = {source, destination, 0, 0, 0};
      }
      ++found->packets;
      found->bytes += s.totalLength;
      found->stamp = frame;
    }
    const std::vector<ConversationRow> rows = t.Rows();
    ASSERT_EQ(rows.size(), model.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
      SCOPED_TRACE(testing::Message() << "limit " << limit << ", row " << i);
      EXPECT_EQ(rows[i].source, model[i].source);
      EXPECT_EQ(rows[i].destination, model[i].destination);
      EXPECT_EQ(rows[i].packets, model[i].packets);
      EXPECT_EQ(rows[i].bytes, model[i].bytes);
      EXPECT_EQ(rows[i].stamp, model[i].stamp);
    }
  }
}

TEST(ConversationSort, ColumnRules) {
  ConversationRow a, b;
  a.source = IpAddress::V4({10, 0, 0, 9});
  b.source = IpAddress::V4({10, 0, 0, 10});  // as text "10.0.0.10" < "10.0.0.9"; as numbers greater
  a.destination = b.destination = IpAddress::V4({1, 2, 3, 4});
  a.packets = 9;
  b.packets = 10;
  a.bytes = 5000000000ull;
  b.bytes = 1;
  a.ports = "1";
  b.ports = "2";
  a.sourceName = "Alpha";
  b.sourceName = "alpha";
  a.destinationName = "b";
  b.destinationName = "A";
  const int expected[] = {-1, 0, -1, 1, 0, 0, 1};
  for (int column = 0; column < ConversationTable::kColumns; ++column) {
    EXPECT_EQ(CompareConversationRows(a, b, column), expected[column]) << "column " << column;
    EXPECT_EQ(CompareConversationRows(b, a, column), -expected[column]) << "column " << column;
  }
}

TEST(ConversationSort, AddressesSortByBytesIpv4BeforeIpv6) {
  const auto row = [](IpAddress address) {
    ConversationRow r;
    r.source = r.destination = address;
    return r;
  };
  // Ascending; as text "2001:db8::10" would come before "2001:db8::2", and
  // "::1" before every IPv4 address.
  const ConversationRow ascending[] = {
      row(IpAddress::V4({0, 0, 0, 0})),
      row(IpAddress::V4({10, 0, 0, 9})),
      row(IpAddress::V4({10, 0, 0, 10})),
      row(IpAddress::V4({255, 255, 255, 255})),
      row(IpAddress::V6({})),                                                // ::
      row(IpAddress::V6({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1})),  // ::1
      row(V6(2)),
      row(V6(0x10)),
      row(IpAddress::V6({0xfe, 0x80})),  // fe80::
  };
  for (std::size_t i = 0; i < std::size(ascending); ++i) {
    for (std::size_t j = 0; j < std::size(ascending); ++j) {
      const int expected = i < j ? -1 : i > j ? 1 : 0;
      for (int column : {0, 1}) {
        EXPECT_EQ(CompareConversationRows(ascending[i], ascending[j], column), expected)
            << ascending[i].ColumnText(0) << " vs " << ascending[j].ColumnText(0) << ", column " << column;
      }
    }
  }
}

std::tm FixedTime() {
  std::tm t{};
  t.tm_year = 2026 - 1900;
  t.tm_mon = 11;
  t.tm_mday = 3;
  t.tm_wday = 4;
  t.tm_hour = 4;
  t.tm_min = 5;
  t.tm_sec = 6;
  return t;
}

const std::string kHeader =
    "\tSTATISTICS FILE\tThu Dec  3 04:05:06 2026\r\n"
    "+++++++++++++++++++++++++++++++++++++++++++++++++++++++++++++++++++++\r\n"
    "Src IP/Dest IP/Count/Bytes/Ports/Src Host Name/Dest Host Name\r\n"
    "+++++++++++++++++++++++++++++++++++++++++++++++++++++++++++++++++++++\r\n";

TEST(ConversationExport, ByteForByte) {
  EXPECT_EQ(AscTimeText(FixedTime()), "Thu Dec  3 04:05:06 2026\n");
  EXPECT_EQ(FormatConversationExport({}, FixedTime()), kHeader);

  ConversationTable t;
  t.Update(Sample(1, 2, 3000000000ull, 80, 1025));
  t.Update(Sample(1, 2, 3000000000ull, 80, 1025));
  t.Update(Sample(2, 1, 40, 1025, 80));
  t.ApplyName(V4(1), 0, kSourceNameColumn, "localhost");
  t.ApplyName(V4(2), 0, kDestinationNameColumn, std::nullopt);
  const std::string expected = kHeader +
                               "10.0.0.1 => 10.0.0.2\t2\t6000000000\t80, 1025\tlocalhost => ----\r\n"
                               "10.0.0.2 => 10.0.0.1\t1\t40\t1025, 80\t => \r\n";
  EXPECT_EQ(FormatConversationExport(t.Rows(), FixedTime()), expected);

  // An IPv6 row: the same columns and arrows, the addresses in RFC 5952 text.
  ConversationTable six;
  six.Update(Sample6(1, 0xab, 1240, 443, 50000));
  six.ApplyName(V6(1), 0, kSourceNameColumn, "localhost");
  six.ApplyName(V6(0xab), 0, kDestinationNameColumn, "www.example.com");
  EXPECT_EQ(FormatConversationExport(six.Rows(), FixedTime(), "\n"),
            "\tSTATISTICS FILE\tThu Dec  3 04:05:06 2026\n" + std::string(69, '+') +
                "\nSrc IP/Dest IP/Count/Bytes/Ports/Src Host Name/Dest Host Name\n" + std::string(69, '+') +
                "\n2001:db8::1 => 2001:db8::ab\t1\t1240\t443, 50000\tlocalhost => www.example.com\n");

  const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                     ("conversation-export-" + std::to_string(::getpid()) + ".txt");
  ASSERT_TRUE(WriteConversationExport(path.string(), t.Rows(), FixedTime()));
  std::ifstream in(path, std::ios::binary);
  std::stringstream read;
  read << in.rdbuf();
  EXPECT_EQ(read.str(), expected);
  std::filesystem::remove(path);
  EXPECT_FALSE(WriteConversationExport((path / "missing-folder" / "x.txt").string(), {}, FixedTime()));
}

}  // namespace
}  // namespace qv
