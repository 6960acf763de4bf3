// Host names from the traffic in the conversation table: taken when a row is
// made and when it is next updated, kept over reverse DNS, shown with their
// origin and written to the export.

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "decode/text_format.h"
#include "decode_helpers.h"
#include "stats/conversation_export.h"
#include "stats/session_statistics.h"

namespace qv {
namespace {

using namespace qv::testing;

IpAddress V4(std::uint8_t last) { return IpAddress::V4({10, 0, 0, last}); }

IpConversationSample Sample(std::uint8_t src, std::uint8_t dst) {
  IpConversationSample s;
  s.source = {10, 0, 0, src};
  s.destination = {10, 0, 0, dst};
  s.totalLength = 100;
  s.destinationPort = 443;
  s.sourcePort = 50000;
  return s;
}

struct RecordingRequester : HostNameRequester {
  void RequestName(const IpAddress& address, std::size_t row, int column) override {
    requests.push_back(address.Text() + Format(" row %zu column %d", row, column));
  }
  std::vector<std::string> requests;
};

// "name [where from]" of both name columns of a row.
std::string Names(const ConversationRow& r) {
  return r.sourceName + " [" + r.NameSourceText(kSourceNameColumn) + "] > " + r.destinationName + " [" +
         r.NameSourceText(kDestinationNameColumn) + "]";
}

// A table that reads learned names, as the session's statistics wire it.
struct Fixture {
  Fixture() {
    table.SetLearnedNames(&names);
    table.SetNameRequester(&requester);
  }
  ~Fixture() { table.SetNameRequester(nullptr); }
  LearnedNames names;
  ConversationTable table;
  RecordingRequester requester;
};

TEST(TrafficNames, ANewRowTakesThemAndAsksReverseDnsOnlyForTheRest) {
  Fixture f;
  f.names.Learn(V4(2), "www.example.com", NameOrigin::Dns);
  f.table.Update(Sample(1, 2));
  EXPECT_EQ(Names(f.table.Rows()[0]), " [] > www.example.com [From the traffic: DNS answer]");
  EXPECT_EQ(f.requester.requests, (std::vector<std::string>{"10.0.0.1 row 0 column 5"}));

  // A reverse answer fills the empty column and leaves the traffic's alone.
  f.table.ApplyName(V4(1), 0, kSourceNameColumn, "client.lan");
  f.table.ApplyName(V4(2), 0, kDestinationNameColumn, "edge-17.cdn.example.net");
  f.table.ApplyName(V4(2), 0, kDestinationNameColumn, std::nullopt);
  EXPECT_EQ(Names(f.table.Rows()[0]),
            "client.lan [From reverse DNS] > www.example.com [From the traffic: DNS answer]");
}

TEST(TrafficNames, ANameLearnedLaterReachesTheRowAtItsNextUpdate) {
  Fixture f;
  f.table.Update(Sample(1, 2));
  f.table.ApplyName(V4(2), 0, kDestinationNameColumn, "edge-17.cdn.example.net");
  f.names.Learn(V4(2), "www.example.com", NameOrigin::TlsServerName);
  EXPECT_EQ(f.table.Rows()[0].destinationName, "edge-17.cdn.example.net");  // not before its update
  f.table.Update(Sample(1, 2));
  EXPECT_EQ(Names(f.table.Rows()[0]), " [] > www.example.com [From the traffic: TLS server name]");
  // A newer name for the address replaces the older one.
  f.names.Learn(V4(2), "api.example.com", NameOrigin::HttpHost);
  f.table.Update(Sample(1, 2));
  EXPECT_EQ(Names(f.table.Rows()[0]), " [] > api.example.com [From the traffic: HTTP Host]");
  // Rows are asked for once, when they are made.
  EXPECT_EQ(f.requester.requests.size(), 2u);
}

TEST(TrafficNames, RowsThatGetNoMoreFramesTakeThemWhenTheyAreRead) {
  Fixture f;
  f.table.Update(Sample(1, 2));
  f.table.Update(Sample(3, 4));
  const std::uint64_t unnamed = f.table.Version();
  f.table.TakeNewLearnedNames();  // nothing learned: nothing changes
  EXPECT_EQ(f.table.Version(), unnamed);
  f.names.Learn(V4(4), "last.example.com", NameOrigin::QuicServerName);
  f.table.TakeNewLearnedNames();
  EXPECT_NE(f.table.Version(), unnamed);
  EXPECT_EQ(Names(f.table.Rows()[0]), " [] >  []");
  EXPECT_EQ(Names(f.table.Rows()[1]), " [] > last.example.com [From the traffic: QUIC server name]");
  const std::uint64_t named = f.table.Version();
  f.names.Learn(V4(9), "elsewhere.example.com", NameOrigin::Dns);  // no row shows it
  f.table.TakeNewLearnedNames();
  EXPECT_EQ(f.table.Version(), named);
}

TEST(TrafficNames, AReusedRowStartsOverWithTheNamesOfItsNewPair) {
  Fixture f;
  f.table.SetRowLimit(1);
  f.names.Learn(V4(2), "old.example.com", NameOrigin::Dns);
  f.names.Learn(V4(4), "new.example.com", NameOrigin::Mdns);
  f.table.Update(Sample(1, 2));
  f.table.Update(Sample(3, 4));
  EXPECT_EQ(Names(f.table.Rows()[0]), " [] > new.example.com [From the traffic: mDNS answer]");
  f.table.Update(Sample(5, 6));
  EXPECT_EQ(Names(f.table.Rows()[0]), " [] >  []");
}

TEST(TrafficNames, WithTheOptionOffNoNameComesFromTheTraffic) {
  SessionStatistics statistics;
  statistics.conversations.SetUseTrafficNames(false);
  LearnedName learned;
  learned.address = {10, 0, 0, 2};
  learned.name = "www.example.com";
  statistics.LearnName(learned);
  EXPECT_EQ(statistics.names.Size(), 0u);
  // Nor does a name learned while it was on reach a row made while it is off.
  statistics.conversations.SetUseTrafficNames(true);
  statistics.LearnName(learned);
  statistics.conversations.SetUseTrafficNames(false);
  statistics.UpdateConversation(Sample(1, 2));
  EXPECT_EQ(Names(statistics.conversations.Rows()[0]), " [] >  []");
  statistics.conversations.SetUseTrafficNames(true);
  statistics.UpdateConversation(Sample(1, 2));
  EXPECT_EQ(statistics.conversations.Rows()[0].destinationName, "www.example.com");

  // Cleared with the statistics.
  statistics.Clear();
  EXPECT_EQ(statistics.names.Size(), 0u);
  statistics.UpdateConversation(Sample(1, 2));
  EXPECT_EQ(statistics.conversations.Rows()[0].destinationName, "");
}

TEST(TrafficNames, TheExportSaysWhichNamesCameFromTheTraffic) {
  Fixture f;
  f.names.Learn(V4(2), "www.example.com", NameOrigin::Dns);
  Ipv6Address six{0x20, 0x01, 0x0d, 0xb8};
  six[15] = 1;
  f.names.Learn(IpAddress::V6(six), "printer.local", NameOrigin::Mdns);
  f.table.Update(Sample(1, 2));
  f.table.Update(Sample(2, 1));  // the same address again: one line
  IpConversationSample s6;
  s6.ipv6 = true;
  s6.source6 = six;
  s6.destination6 = six;
  s6.destination6[15] = 2;
  s6.totalLength = 60;
  s6.destinationPort = s6.sourcePort = 5353;
  f.table.Update(s6);
  f.table.ApplyName(V4(1), 0, kSourceNameColumn, "client.lan");
  std::tm time{};
  time.tm_year = 126;
  const std::string text = FormatConversationExport(f.table.Rows(), time, "\n");
  const std::string rows =
      "10.0.0.1 => 10.0.0.2\t1\t100\t443, 50000\tclient.lan => www.example.com\n"
      "10.0.0.2 => 10.0.0.1\t1\t100\t443, 50000\twww.example.com => \n"
      "2001:db8::1 => 2001:db8::2\t1\t60\t5353\tprinter.local => \n"
      "# host names: 10.0.0.2 = www.example.com (DNS answer)\n"
      "# host names: 2001:db8::1 = printer.local (mDNS answer)\n";
  ASSERT_GE(text.size(), rows.size());
  EXPECT_EQ(text.substr(text.size() - rows.size()), rows) << text;
}

// --- from the decoded frames ---

const framegen::Mac kMacA{0x02, 0, 0, 0, 0, 0x01};
const framegen::Mac kMacB{0x02, 0, 0, 0, 0, 0x02};

// The answer of www.example.com: 93.184.216.34 from 192.0.2.53 to 192.0.2.10.
Bytes DnsAnswer() {
  return FrameBuilder()
      .Ethernet(kMacA, kMacB, 0x0800)
      .Ipv4({192, 0, 2, 53}, {192, 0, 2, 10}, 17)
      .Udp(53, 49152)
      .Raw(Hex("1a2b 8180 0001 0001 0000 0000 03777777 076578616d706c65 03636f6d 00 0001 0001"
               "c00c 0001 0001 0000012c 0004 5db8d822"))
      .Build();
}

Bytes TcpTo(const framegen::Ip4& destination) {
  return FrameBuilder()
      .Ethernet(kMacB, kMacA, 0x0800)
      .Ipv4({192, 0, 2, 10}, destination, 6)
      .Tcp(50000, 443, 1, 0, 0x02)
      .Build();
}

void Decode(SessionStatistics& statistics, std::span<const std::uint8_t> frame) {
  PacketSummary row;
  PacketDecoder d(frame, {kLinkTypeEthernet, &statistics, nullptr, EnabledDecoders::All()}, nullptr,
                  DecodeMode::Summary, nullptr, &row);
  d.Decode();
}

TEST(TrafficNames, ADnsAnswerNamesTheConnectionToItsAddress) {
  for (const bool on : {true, false}) {
    SessionStatistics statistics;
    statistics.conversations.SetUseTrafficNames(on);
    Decode(statistics, DnsAnswer());
    Decode(statistics, TcpTo({93, 184, 216, 34}));
    const std::vector<ConversationRow> rows = statistics.conversations.Rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].ColumnText(1), "93.184.216.34");
    if (on) {
      EXPECT_EQ(Names(rows[1]), " [] > www.example.com [From the traffic: DNS answer]");
    } else {
      EXPECT_EQ(Names(rows[1]), " [] >  []");
    }
  }
}

// A ClientHello to 192.0.2.10's server `address`, naming `serverName`.
Bytes ClientHelloTo(const framegen::Ip4& address, const std::string& serverName) {
  const auto n = static_cast<std::uint8_t>(serverName.size());
  Bytes sni = {0x00, 0x00, 0x00, static_cast<std::uint8_t>(n + 5), 0x00, static_cast<std::uint8_t>(n + 3), 0x00, 0x00, n};
  sni.insert(sni.end(), serverName.begin(), serverName.end());
  Bytes body = {0x03, 0x03};
  body.insert(body.end(), 32, 0x11);                              // random
  body.insert(body.end(), {0x00, 0x00, 0x02, 0x13, 0x01, 0x01, 0x00});  // no session id, one suite, no compression
  body.push_back(0x00);
  body.push_back(static_cast<std::uint8_t>(sni.size()));
  body.insert(body.end(), sni.begin(), sni.end());
  Bytes record = {0x16, 0x03, 0x01, 0x00, static_cast<std::uint8_t>(body.size() + 4), 0x01, 0x00, 0x00,
                  static_cast<std::uint8_t>(body.size())};
  record.insert(record.end(), body.begin(), body.end());
  return FrameBuilder()
      .Ethernet(kMacB, kMacA, 0x0800)
      .Ipv4({192, 0, 2, 10}, address, 6)
      .Tcp(50000, 443, 1, 0, 0x18)
      .Raw(record)
      .Build();
}

TEST(TrafficNames, AServerNameNamesTheServerOfTheConnection) {
  SessionStatistics statistics;
  Decode(statistics, ClientHelloTo({198, 51, 100, 7}, "secure.example.org"));
  Decode(statistics, TcpTo({198, 51, 100, 7}));
  EXPECT_EQ(Names(statistics.conversations.Rows()[0]), " [] > secure.example.org [From the traffic: TLS server name]");
}

// The answer first, then the connection to the answered address: the table's
// name is the answer's, and the ClientHello that names it again changes nothing.
TEST(TrafficNames, ADnsAnswerThenATlsConnectionToItsAddressNamesItByTheAnswer) {
  SessionStatistics statistics;
  Decode(statistics, DnsAnswer());
  Decode(statistics, ClientHelloTo({93, 184, 216, 34}, "www.example.com"));
  Decode(statistics, TcpTo({93, 184, 216, 34}));
  const std::vector<ConversationRow> rows = statistics.conversations.Rows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(Names(rows[1]), " [] > www.example.com [From the traffic: DNS answer]");
}

}  // namespace
}  // namespace qv
