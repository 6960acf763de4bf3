// Filters built from what the user points at: a decode line's field and
// value, the combination with the filter in the field, a conversation.

#include <gtest/gtest.h>

#include <string>

#include "decode_helpers.h"
#include "filters/filter_expression.h"

namespace qv {
namespace {

using testing::DecodeTreeOf;
using testing::FrameBuilder;
using testing::Hex;

// A DNS query for `name` from 10.0.0.5:40000 to 10.0.0.1:53, then a TCP SYN.
testing::Bytes DnsQuery(std::string_view dottedName) {
  testing::Bytes question;
  std::size_t start = 0;
  while (start <= dottedName.size()) {
    const std::size_t dot = dottedName.find('.', start);
    const std::string_view label = dottedName.substr(start, dot == std::string_view::npos ? dot : dot - start);
    question.push_back(static_cast<std::uint8_t>(label.size()));
    question.insert(question.end(), label.begin(), label.end());
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  question.push_back(0);
  for (std::uint8_t b : {0, 1, 0, 1}) question.push_back(b);  // type A, class IN
  return FrameBuilder()
      .Ethernet({0x00, 0x11, 0x22, 0x33, 0x44, 0x66}, {0x00, 0x11, 0x22, 0x33, 0x44, 0x55}, 0x0800)
      .Ipv4({10, 0, 0, 5}, {10, 0, 0, 1}, 17)
      .Udp(40000, 53)
      .Raw(Hex("1234 0100 0001 0000 0000 0000"))
      .Raw(question)
      .Build();
}

// The first line of the tree that shows `abbrev`.
const DecodeNode* LineOf(const DecodeTree& tree, std::string_view abbrev) {
  for (NodeId id = 1; id <= static_cast<NodeId>(tree.LineCount()); ++id) {
    if (tree[id].field != nullptr && tree[id].field->abbrev == abbrev) return &tree[id];
  }
  return nullptr;
}

TEST(FilterForLine, EachKindOfFieldGivesItsLiteral) {
  const testing::Bytes dns = DnsQuery("example.com");
  const testing::Bytes syn = FrameBuilder()
                                 .Ethernet({0, 1, 2, 3, 4, 5}, {0, 1, 2, 3, 4, 6}, 0x0800)
                                 .Ipv4({10, 0, 0, 5}, {10, 0, 0, 1}, 6)
                                 .Tcp(1234, 80, 1, 0, 0x02, Hex("020405b4"))
                                 .Build();
  struct Case {
    const testing::Bytes* frame;
    const char* abbrev;
    const char* filter;
  };
  const Case cases[] = {
      {&dns, "dns", "dns"},
      {&dns, "dns.qry.name", "dns.qry.name == \"example.com\""},
      {&dns, "ip.src", "ip.src == 10.0.0.5"},
      {&dns, "ip.ttl", "ip.ttl == 64"},
      {&dns, "eth.src", "eth.src == 00:11:22:33:44:55"},
      {&dns, "udp.dstport", "udp.dstport == 53"},
      {&syn, "tcp.flags.syn", "tcp.flags.syn == 1"},
      {&syn, "tcp.flags.ack", "tcp.flags.ack == 0"},
      {&syn, "tcp.options.mss", "tcp.options.mss == 02:04:05:b4"},
  };
  for (const Case& c : cases) {
    const testing::TreeDecode d = DecodeTreeOf(*c.frame, nullptr, EnabledDecoders::All());
    const DecodeNode* line = LineOf(d.tree, c.abbrev);
    ASSERT_NE(line, nullptr) << c.abbrev << "\n" << d.text;
    EXPECT_EQ(FilterForLine(*line, *c.frame), c.filter) << c.abbrev;
  }
}

TEST(FilterForLine, LinesWithoutAWholeValue) {
  const testing::Bytes dns = DnsQuery("example.com");
  const testing::TreeDecode d = DecodeTreeOf(dns, nullptr, EnabledDecoders::All());
  // A line of free text has no filter.
  for (NodeId id = 1; id <= static_cast<NodeId>(d.tree.LineCount()); ++id) {
    if (d.tree[id].field == nullptr) {
      EXPECT_EQ(FilterForLine(d.tree[id], dns), "") << d.tree[id].text;
    }
  }
  // An address whose bytes are cut short stands for the field's presence.
  DecodeNode cut = *LineOf(d.tree, "ip.src");
  cut.end = cut.start + 2;
  EXPECT_EQ(FilterForLine(cut, dns), "ip.src");
  // A string with quotes, backslashes and bytes outside printable ASCII.
  DecodeNode name = *LineOf(d.tree, "dns.qry.name");
  name.storedBytes = std::string("a\"b\\c\x01\xff", 7);
  name.bytesStored = true;
  name.start = name.end = 0;
  EXPECT_EQ(FilterForLine(name, dns), R"(dns.qry.name == "a\"b\\c\x01\xff")");
}

TEST(FilterForLine, AbsoluteTimesAsSecondsSince1970) {
  DecodeNode line;
  line.field = FindField("ntp.xmt");
  ASSERT_NE(line.field, nullptr);
  line.value = 1497881574488488492u;
  EXPECT_EQ(FilterForLine(line, {}), "ntp.xmt == 1497881574.488488492");
  line.value = 5;
  EXPECT_EQ(FilterForLine(line, {}), "ntp.xmt == 0.000000005");
  line.value = static_cast<std::uint64_t>(std::int64_t{-1500000000});
  EXPECT_EQ(FilterForLine(line, {}), "ntp.xmt == -1.500000000");
}

TEST(QuoteFilterString, EscapesWhatTheLanguageReadsSpecially) {
  const std::pair<std::string, std::string> cases[] = {
      {"", R"("")"},
      {"plain text", R"("plain text")"},
      {"say \"hi\"", R"("say \"hi\"")"},
      {"C:\\dir", R"("C:\\dir")"},
      {std::string("nul\0tab\t", 8), R"("nul\x00tab\x09")"},
      {"\x7f\x80", R"("\x7f\x80")"},
  };
  for (const auto& [text, quoted] : cases) EXPECT_EQ(QuoteFilterString(text), quoted) << quoted;
}

TEST(CombineFilters, JoinsTheSelectedFilterToTheCurrentOne) {
  struct Case {
    const char* current;
    FilterCombine how;
    const char* result;
  };
  const Case cases[] = {
      {"tcp", FilterCombine::Selected, "ip.src == 10.0.0.5"},
      {"tcp", FilterCombine::NotSelected, "!(ip.src == 10.0.0.5)"},
      {"tcp", FilterCombine::AndSelected, "(tcp) && (ip.src == 10.0.0.5)"},
      {"tcp", FilterCombine::OrSelected, "(tcp) || (ip.src == 10.0.0.5)"},
      {"tcp", FilterCombine::AndNotSelected, "(tcp) && !(ip.src == 10.0.0.5)"},
      {"tcp", FilterCombine::OrNotSelected, "(tcp) || !(ip.src == 10.0.0.5)"},
      {"a || b", FilterCombine::AndSelected, "(a || b) && (ip.src == 10.0.0.5)"},
      // Nothing in the field: the selected filter alone (or its negation).
      {"  ", FilterCombine::AndSelected, "ip.src == 10.0.0.5"},
      {"", FilterCombine::OrSelected, "ip.src == 10.0.0.5"},
      {"", FilterCombine::AndNotSelected, "!(ip.src == 10.0.0.5)"},
      {"", FilterCombine::OrNotSelected, "!(ip.src == 10.0.0.5)"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CombineFilters(c.current, "ip.src == 10.0.0.5", c.how), c.result) << c.current;
  }
}

TEST(ConversationFilter, NamesBothAddressesOfTheirFamily) {
  EXPECT_EQ(ConversationFilter(IpAddress::V4({10, 0, 0, 5}), IpAddress::V4({192, 168, 1, 1})),
            "ip.addr == 10.0.0.5 && ip.addr == 192.168.1.1");
  Ipv6Address a{};
  a[0] = 0xfe;
  a[1] = 0x80;
  a[15] = 1;
  Ipv6Address b{};
  b[0] = 0x20;
  b[1] = 0x01;
  b[2] = 0x0d;
  b[3] = 0xb8;
  b[15] = 0x22;
  EXPECT_EQ(ConversationFilter(IpAddress::V6(a), IpAddress::V6(b)), "ipv6.addr == fe80::1 && ipv6.addr == 2001:db8::22");
}

}  // namespace
}  // namespace qv
