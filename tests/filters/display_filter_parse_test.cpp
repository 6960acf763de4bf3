// Display filters as they parse: the tree each text becomes (precedence,
// word and symbol spellings, literals in their fields' types), and the
// message and column of each text that is not a filter.

#include <gtest/gtest.h>

#include "filters/display_filter.h"

namespace qv {
namespace {

struct ParseCase {
  const char* text;
  const char* tree;
};

TEST(DisplayFilterParse, TextsBecomeTheirTrees) {
  const ParseCase cases[] = {
      // presence of protocols and fields
      {"dns", "dns"},
      {"tcp.options.sack_perm", "tcp.options.sack_perm"},
      {"ipv6.fraghdr", "ipv6.fraghdr"},
      // comparisons, symbol and word forms
      {"ip.ttl == 64", "(== ip.ttl 64)"},
      {"ip.ttl eq 64", "(== ip.ttl 64)"},
      {"ip.ttl != 64", "(!= ip.ttl 64)"},
      {"ip.ttl ne 64", "(!= ip.ttl 64)"},
      {"ip.ttl<64", "(< ip.ttl 64)"},
      {"ip.ttl lt 64", "(< ip.ttl 64)"},
      {"ip.ttl > 64", "(> ip.ttl 64)"},
      {"ip.ttl gt 64", "(> ip.ttl 64)"},
      {"ip.ttl <= 64", "(<= ip.ttl 64)"},
      {"ip.ttl le 64", "(<= ip.ttl 64)"},
      {"ip.ttl >= 64", "(>= ip.ttl 64)"},
      {"ip.ttl ge 64", "(>= ip.ttl 64)"},
      {"ip.ttl === 64", "(=== ip.ttl 64)"},
      {"ip.ttl !== 64", "(!== ip.ttl 64)"},
      {"ip.ttl ~= 64", "(!== ip.ttl 64)"},
      // integers: decimal, hexadecimal, octal
      {"tcp.port == 0x1bb", "(== tcp.port 443)"},
      {"tcp.port == 0773", "(== tcp.port 507)"},
      {"tcp.flags.syn == 1", "(== tcp.flags.syn 1)"},
      {"tcp.flags.syn == True", "(== tcp.flags.syn 1)"},
      {"tcp.flags.syn == false", "(== tcp.flags.syn 0)"},
      // addresses with and without prefixes, MAC spellings
      {"ip.addr == 10.0.0.5", "(== ip.addr 10.0.0.5)"},
      {"ip.src == 10.0.0.0/8", "(== ip.src 10.0.0.0/8)"},
      {"ip.src == 10.1.2.3/32", "(== ip.src 10.1.2.3)"},
      {"ipv6.src == fe80::/10", "(== ipv6.src fe80::/10)"},
      {"ipv6.addr == 2001:db8:0:0::1", "(== ipv6.addr 2001:db8::1)"},
      {"eth.src == 00:11:22:33:44:55", "(== eth.src 00:11:22:33:44:55)"},
      {"eth.src == 00-11-22-33-44-55", "(== eth.src 00:11:22:33:44:55)"},
      {"eth.src == 0011.2233.4455", "(== eth.src 00:11:22:33:44:55)"},
      // strings and bytes
      {"dns.qry.name contains \"example\"", "(contains dns.qry.name \"example\")"},
      {"dns.qry.name == \"a\\\"b\\\\c\\x41\\n\"", "(== dns.qry.name \"a\\\"b\\\\cA\\x0a\")"},
      {"frame contains 16:03:01", "(contains frame 16:03:01)"},
      {"tcp contains \"GET\"", "(contains tcp \"GET\")"},
      {"http.request.method == GET", "(== http.request.method \"GET\")"},
      {"dns.qry.name matches \"(?i)EXAMPLE\\\\.com$\"", "(matches dns.qry.name \"(?i)EXAMPLE\\\\.com$\")"},
      // sets and ranges
      {"tcp.port in {80, 443, 8000..8080}", "(in tcp.port {80 443 8000..8080})"},
      {"tcp.port in {80 443}", "(in tcp.port {80 443})"},
      {"ip.addr in {10.0.0.0/8 192.168.0.1}", "(in ip.addr {10.0.0.0/8 192.168.0.1})"},
      // slices, field against field
      {"eth.src[0:3] == 00:11:22", "(== eth.src[0:3] 00:11:22)"},
      {"eth.dst[1-2] == 11:22", "(== eth.dst[1-2] 11:22)"},
      {"frame[0] == ff", "(== frame[0] ff)"},
      {"tcp.srcport == tcp.dstport", "(== tcp.srcport tcp.dstport)"},
      {"ip.src == ip.dst", "(== ip.src ip.dst)"},
      // frame fields
      {"frame.len > 1000", "(> frame.len 1000)"},
      {"frame.time_relative >= 1.5", "(>= frame.time_relative 1.500000000)"},
      // precedence: not over and over or, left to right
      {"ip && tcp || udp", "(|| (&& ip tcp) udp)"},
      {"ip || tcp && udp", "(|| ip (&& tcp udp))"},
      {"!ip && tcp", "(&& (! ip) tcp)"},
      {"not ip and tcp or udp", "(|| (&& (! ip) tcp) udp)"},
      {"!(ip && tcp)", "(! (&& ip tcp))"},
      {"ip and (tcp or udp)", "(&& ip (|| tcp udp))"},
      {"ip.addr == 10.0.0.5 && tcp.port == 443", "(&& (== ip.addr 10.0.0.5) (== tcp.port 443))"},
      {"!(udp || tcp)", "(! (|| udp tcp))"},
      {"ip ^^ ipv6", "(^^ ip ipv6)"},
  };
  for (const ParseCase& c : cases) {
    if (c.tree == nullptr) continue;
    DisplayFilterError error;
    const DisplayFilterPtr filter = CompileDisplayFilter(c.text, &error);
    ASSERT_NE(filter, nullptr) << c.text << ": " << error.Text();
    EXPECT_EQ(filter->TreeText(), c.tree) << c.text;
  }
}

TEST(DisplayFilterParse, FieldsAreListedOnceEach) {
  const DisplayFilterPtr filter = CompileDisplayFilter("ip.addr == 1.2.3.4 && tcp.port == 1 || ip.addr == 5.6.7.8", nullptr);
  ASSERT_NE(filter, nullptr);
  ASSERT_EQ(filter->Fields().size(), 2u);
  EXPECT_EQ(filter->Fields()[0]->abbrev, "ip.addr");
  EXPECT_EQ(filter->Fields()[1]->abbrev, "tcp.port");
}

struct ErrorCase {
  const char* text;
  const char* message;
  std::size_t column;
};

TEST(DisplayFilterParse, InvalidTextsNameTheTokenAndItsColumn) {
  const ErrorCase cases[] = {
      {"dns.qry.nmae contains \"x\"", "`dns.qry.nmae` is neither a field nor a protocol", 1},
      {"ip.ttl ==", "`==` needs a value after it", 8},
      {"ip.ttl == 64 &&", "`&&` needs a test after it", 14},
      {"not", "`not` needs a test after it", 1},
      {"", "the filter is empty", 1},
      {"   ", "the filter is empty", 4},
      {"(ip", "`(` is not closed", 1},
      {"ip)", "`)` has no `(` before it", 3},
      {"ip tcp", "`tcp` is not expected here; `&&` or `||` may join two tests", 4},
      {"ip.ttl == 300", "`300` is too large for `ip.ttl` (at most 255)", 11},
      {"tcp.port == -1", "`-1` is too small for `tcp.port` (at least 0)", 13},
      {"ip.src == 10.0.0.300", "`10.0.0.300` is not an IPv4 address (ip.src)", 11},
      {"ip.src == 10.0.0.0/33", "`10.0.0.0/33` is not an IPv4 address (ip.src)", 11},
      {"ipv6.src == fe80:::1", "`fe80:::1` is not an IPv6 address (ipv6.src)", 13},
      {"eth.src == 00:11:22", "`00:11:22` is not a MAC address (eth.src)", 12},
      {"tcp.port == abc", "`abc` is not a number (tcp.port)", 13},
      {"tcp.flags.syn == maybe", "`maybe` is not a Boolean value (1, 0, True or False) (tcp.flags.syn)", 18},
      {"tcp.port contains 80", "`contains` needs text or bytes, and `tcp.port` is a number", 10},
      {"tcp.port[0:1] == 00", "`tcp.port` is a number, and cannot be sliced", 9},
      {"eth.src[x] == 00", "`[x]` is not a valid range of bytes", 8},
      {"eth.src[0:1 == 00", "`[` is not closed", 8},
      {"dns.qry.name == \"abc", "the string that starts here is not closed", 17},
      {"dns.qry.name == \"a\\qb\"", "`\\q` is not a valid escape in a string", 19},
      {"dns.qry.name matches \"(\"", "`\"(\"` is not a valid regular expression: missing ): (", 22},
      {"dns.qry.name matches abc", "`matches` needs a regular expression in double quotes after it", 22},
      {"tcp.port in 80", "`in` needs a set after it, as in {80, 443, 8000..8080}", 10},
      {"tcp.port in {80", "`{` is not closed", 13},
      {"tcp.port in {}", "the set is empty", 13},
      {"tcp.port in {80..}", "`..` needs the end of the range after it", 16},
      {"ip.src == eth.src", "`ip.src` and `eth.src` hold different kinds of value and cannot be compared", 11},
      {"ip.src == tcp.port", "`ip.src` and `tcp.port` hold different kinds of value and cannot be compared", 11},
      {"dns < 3", "`<` cannot order `dns`, a protocol", 5},
      {"ip.ttl == 64 $ 1", "`$` is not expected in a display filter", 14},
      {"ip.ttl = 64", "`=` is not expected in a display filter", 8},
      {"== 64", "`==` is not a field or a protocol; a test starts with one", 1},
      {"ip.ttl == (", "`(` is not a value; `==` needs one after it", 11},
      {"\"abc\"", "`\"abc\"` is not a field or a protocol; a test starts with one", 1},
  };
  for (const ErrorCase& c : cases) {
    DisplayFilterError error;
    EXPECT_EQ(CompileDisplayFilter(c.text, &error), nullptr) << c.text;
    EXPECT_EQ(error.message, c.message) << c.text;
    EXPECT_EQ(error.column, c.column) << c.text;
  }
}

TEST(DisplayFilterParse, ErrorTextGivesTheColumn) {
  DisplayFilterError error;
  ASSERT_EQ(CompileDisplayFilter("ip.ttl ==", &error), nullptr);
  EXPECT_EQ(error.Text(), "column 8: `==` needs a value after it");
}

TEST(DisplayFilterParse, HugeOrDeeplyNestedTextsAreRefused) {
  DisplayFilterError error;
  EXPECT_EQ(CompileDisplayFilter(std::string(100000, 'a'), &error), nullptr);
  EXPECT_EQ(CompileDisplayFilter(std::string(300, '(') + "ip" + std::string(300, ')'), &error), nullptr);
  EXPECT_EQ(error.message, "the filter nests too deeply");
  EXPECT_EQ(CompileDisplayFilter(std::string(3000, '!') + "ip", &error), nullptr);
  std::string chain = "ip";
  for (int i = 0; i < 3000; ++i) chain += " && ip";
  EXPECT_EQ(CompileDisplayFilter(chain, &error), nullptr);
  // A long but reasonable filter is fine.
  std::string longer = "ip";
  for (int i = 0; i < 500; ++i) longer += " || tcp.port == " + std::to_string(i);
  EXPECT_NE(CompileDisplayFilter(longer, &error), nullptr) << error.Text();
}

}  // namespace
}  // namespace qv
