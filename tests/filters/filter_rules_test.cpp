// The expression built from page states: blanks, brackets and joiners are
// part of the text libpcap receives, so they are compared exactly.

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "filters/filter_rules.h"

namespace qv {
namespace {

struct Case {
  const char* name;
  std::function<void(FilterRules&)> set;
  const char* expected;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

void Check(FilterRules& r, std::initializer_list<const char*> keywords, ProtocolPage page) {
  ProtocolRules& p = r.Protocol(page);
  p.enabled = true;
  const auto& rows = ProtocolKeywords(page);
  for (const char* k : keywords) {
    for (std::size_t i = 0; i < rows.size(); ++i) {
      if (rows[i] == k) p.SetChecked(i, true);
    }
  }
}

const Case kCases[] = {
    {"AllPagesOff", [](FilterRules&) {}, ""},
    {"EnabledPagesWithNothingChosenGiveNothing",
     [](FilterRules& r) {
       r.eth.enabled = r.icmp.enabled = r.mac.enabled = r.advanced.enabled = true;
       r.eth.capture = false;
       r.advanced.rules = {{"tcp", false}};
     },
     ""},
    {"ArpCapturedAndTcpIgnoredJoinedByAnd",
     [](FilterRules& r) {
       Check(r, {"arp"}, ProtocolPage::Eth);
       Check(r, {"tcp"}, ProtocolPage::Ip);
       r.ip.capture = false;
     },
     " (arp )  and (not ( tcp )) "},
    {"TwoEthKeywords", [](FilterRules& r) { Check(r, {"arp", "rarp"}, ProtocolPage::Eth); }, " (arp  or rarp ) "},
    {"TcpFlagAlone", [](FilterRules& r) { Check(r, {"tcp-fin"}, ProtocolPage::Tcp); }, " ( tcp [tcpflags] =  tcp-fin  ) "},
    {"TcpFlagsIgnored",
     [](FilterRules& r) {
       Check(r, {"tcp-syn", "tcp-ack"}, ProtocolPage::Tcp);
       r.tcp.capture = false;
     },
     " (not (  tcp [tcpflags] =  tcp-syn  |  tcp-ack   )) "},
    {"IcmpTypesInRowOrder", [](FilterRules& r) { Check(r, {"echo", "echoreply"}, ProtocolPage::Icmp); },
     " ( icmp[icmptype] = icmp-echoreply  or  icmp[icmptype] = icmp-echo ) "},
    {"SizeEqual",
     [](FilterRules& r) {
       r.size = {true, 1, "60"};
     },
     " ( ( less 60 ) and ( greater 60 ) ) "},
    {"SizeSmallerJoinedByOr",
     [](FilterRules& r) {
       r.size = {true, 0, "100"};
       r.advanced = {true, {{"udp", true}}, false};
       r.joinAnd = false;
     },
     " (less 100)  or ( ( udp ) ) "},
    {"SizeWithoutNumberOrRelation",
     [](FilterRules& r) {
       r.size = {true, 2, ""};
       r.advanced.enabled = true;
     },
     ""},
    {"SizeNoRelation", [](FilterRules& r) { r.size = {true, -1, "60"}; }, ""},
    {"AdvancedSkipsUncheckedRowsAndTheirJoiner",
     [](FilterRules& r) {
       r.advanced = {true, {{"A", true}, {"B", false}, {"C", true}}, false};
     },
     " ( ( A )  or  ( C ) ) "},
    {"AdvancedAndKeepsBlanksOfRules",
     [](FilterRules& r) {
       r.advanced = {true, {{"tcp port 80 and host 10.0.0.1", true}, {"arp", true}}, true};
     },
     " ( ( tcp port 80 and host 10.0.0.1 )  and  ( arp ) ) "},
    {"AddressDirectionsNewestFirst",
     [](FilterRules& r) {
       r.ipAddr.enabled = true;
       r.ipAddr.AddOnTop("10.0.0.1", "both");
       r.ipAddr.AddOnTop("10.0.0.2", "source");
       r.ipAddr.AddOnTop("10.0.0.3", "destination");
     },
     " ( dst host 10.0.0.3 or  src host 10.0.0.2 or  host 10.0.0.1) "},
    {"MacAndPortPrefixes",
     [](FilterRules& r) {
       r.mac = {true, {{"AA:BB:CC:DD:EE:FF", "both"}, {"1:2:3:4:5:6", "destination"}, {"0:0:0:0:0:1", "odd"}}};
       r.ports = {true, {{"80", "source"}, {"53", "both"}}};
     },
     " ( ether host AA:BB:CC:DD:EE:FF or  ether dst 1:2:3:4:5:6 or  ether src 0:0:0:0:0:1)  and "
     "( src port 80 or  port 53) "},
    {"FragmentOrderIsNotTabOrderAndOrJoins",
     [](FilterRules& r) {
       r.joinAnd = false;
       r.advanced = {true, {{"vlan", true}}, false};
       Check(r, {"echo"}, ProtocolPage::Icmp);
       Check(r, {"tcp-rst"}, ProtocolPage::Tcp);
       r.size = {true, 2, "1000"};
       r.ports = {true, {{"22", "both"}}};
       r.ipAddr = {true, {{"1.2.3.4", "both"}}};
       r.mac = {true, {{"A:B:C:D:E:F", "both"}}};
       Check(r, {"icmp"}, ProtocolPage::Ip);
       Check(r, {"ip"}, ProtocolPage::Eth);
     },
     " (ip )  or (icmp)  or ( ether host A:B:C:D:E:F)  or ( host 1.2.3.4)  or ( port 22)  or (greater 1000)  or "
     "( tcp [tcpflags] =  tcp-rst  )  or ( icmp[icmptype] = icmp-echo )  or ( ( vlan ) ) "},
    {"MaskBitsBeyondThePageRowsAreIgnored",
     [](FilterRules& r) {
       r.tcp.enabled = true;
       r.tcp.mask = 0x8001;  // row 15 does not exist on a six-row page
     },
     " ( tcp [tcpflags] =  tcp-fin  ) "},
};

class BuildExpression : public ::testing::TestWithParam<Case> {};

TEST_P(BuildExpression, GivesTheExactText) {
  FilterRules rules;
  GetParam().set(rules);
  EXPECT_EQ(BuildFilterExpression(rules), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(PageStates, BuildExpression, ::testing::ValuesIn(kCases),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(ProtocolRules, MaskFollowsEveryCheckAndUncheck) {
  ProtocolRules p;
  p.SetChecked(2, true);
  p.SetChecked(14, true);
  p.SetChecked(2, false);
  EXPECT_EQ(p.mask, 1u << 14);
  EXPECT_TRUE(p.Checked(14));
  EXPECT_FALSE(p.Checked(2));
}

}  // namespace
}  // namespace qv
