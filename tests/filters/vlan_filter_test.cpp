// Filtering tagged and IPv6 traffic: the expressions the rules build with
// "Match VLAN-tagged frames too", and the list filter's matching of buffered
// frames (libpcap programs over the frames' bytes) on 802.1Q-tagged and IPv6
// frames.

#include <gtest/gtest.h>
#include <pcap/pcap.h>

#include <string>
#include <vector>

#include "capture/packet_buffer.h"
#include "filters/filter_preview.h"
#include "filters/filter_rules.h"
#include "filters/list_filter.h"
#include "framegen/frame_builder.h"

namespace qv {
namespace {

using framegen::Bytes;
using framegen::Hex;

// 02:00:00:00:00:01 to 02:00:00:00:00:02; the tag is VLAN 100.
constexpr const char* kMacs = "020000000002 020000000001";
constexpr const char* kTag = "8100 0064";
// 10.0.0.1:1000 -> 10.0.0.2:53, UDP.
constexpr const char* kIpv4Udp = "0800 4500001c 00000000 40110000 0a000001 0a000002  03e8 0035 0008 0000";
// 10.0.0.1:1000 -> 10.0.0.2:80, TCP.
constexpr const char* kIpv4Tcp =
    "0800 45000028 00000000 40060000 0a000001 0a000002  03e8 0050 00000000 00000000 5002 0000 0000 0000";
// 2001:db8::1:1000 -> 2001:db8::2:53, UDP.
constexpr const char* kIpv6Udp =
    "86dd 60000000 0008 11 40 20010db8000000000000000000000001 20010db8000000000000000000000002"
    "  03e8 0035 0008 0000";
// 2001:db8::1:1000 -> 2001:db8::2:80, TCP.
constexpr const char* kIpv6Tcp =
    "86dd 60000000 0014 06 40 20010db8000000000000000000000001 20010db8000000000000000000000002"
    "  03e8 0050 00000000 00000000 5002 0000 0000 0000";
constexpr const char* kArp = "0806 0001 0800 06 04 0001 020000000001 0a000001 000000000000 0a000002";

Bytes Frame(const char* payload, bool tagged) {
  return Hex(std::string(kMacs) + (tagged ? kTag : "") + payload);
}

// The frames every case is matched against, by number in the buffer.
enum Number : std::uint32_t { Ip4Udp, TaggedIp4Udp, Ip4Tcp, TaggedIp4Tcp, Ip6Udp, TaggedIp6Udp, Ip6Tcp, Arp, Count };

std::vector<Bytes> Frames() {
  return {Frame(kIpv4Udp, false), Frame(kIpv4Udp, true), Frame(kIpv4Tcp, false), Frame(kIpv4Tcp, true),
          Frame(kIpv6Udp, false), Frame(kIpv6Udp, true), Frame(kIpv6Tcp, false), Frame(kArp, false)};
}

// The numbers of the frames `expression` accepts, found as the list filter
// finds them: compiled offline for Ethernet, matched over the buffer.
std::vector<std::uint32_t> Matches(const std::string& expression) {
  PacketBuffer buffer;
  for (const Bytes& f : Frames()) {
    FrameHeader header;
    header.capturedLength = header.wireLength = static_cast<std::uint32_t>(f.size());
    buffer.Append(header, f.data());
  }
  const FilterCompile compiled = CompileOffline(expression, DLT_EN10MB, PCAP_NETMASK_UNKNOWN);
  EXPECT_TRUE(compiled.ok) << expression << ": " << compiled.error;
  if (!compiled.ok) return {};
  return MatchFrames(buffer, compiled.filter.Program(), 0, Count);
}

TEST(ListFilterOnTaggedAndIpv6Frames, ExpressionsAcceptTheRightFrames) {
  struct Case {
    const char* expression;
    std::vector<std::uint32_t> accepted;
  };
  const Case cases[] = {
      {"vlan and udp", {TaggedIp4Udp, TaggedIp6Udp}},
      {"vlan 100 and tcp", {TaggedIp4Tcp}},
      {"vlan 200", {}},
      {"ip6", {Ip6Udp, Ip6Tcp}},
      {"ip6 and udp port 53", {Ip6Udp}},
      {"ip6 and tcp port 80", {Ip6Tcp}},
      {"vlan and ip6 and udp port 53", {TaggedIp6Udp}},
      // Without "vlan" the tagged frames are not seen: what the option is for.
      {"udp port 53", {Ip4Udp, Ip6Udp}},
      {"host 10.0.0.2", {Ip4Udp, Ip4Tcp, Arp}},
      {"ip6 host 2001:db8::2", {Ip6Udp, Ip6Tcp}},
      {"not vlan", {Ip4Udp, Ip4Tcp, Ip6Udp, Ip6Tcp, Arp}},
  };
  for (const Case& c : cases) EXPECT_EQ(Matches(c.expression), c.accepted) << c.expression;
}

FilterRules PortRule(const char* port, std::string_view direction) {
  FilterRules r;
  r.ports.enabled = true;
  r.ports.AddOnTop(port, std::string(direction));
  return r;
}

FilterRules HostAndPortRules() {
  FilterRules r = PortRule("53", kDirectionBoth);
  r.ipAddr.enabled = true;
  r.ipAddr.AddOnTop("10.0.0.2", std::string(kDirectionDestination));
  return r;
}

FilterRules ProtocolRule(ProtocolPage page, std::string_view keyword) {
  FilterRules r;
  ProtocolRules& p = r.Protocol(page);
  p.enabled = true;
  const auto& keywords = ProtocolKeywords(page);
  for (std::size_t i = 0; i < keywords.size(); ++i) p.SetChecked(i, keywords[i] == keyword);
  return r;
}

// The option off leaves the expression exactly as a rule file builds it
// today; on, the whole expression is repeated once behind "vlan".
TEST(VlanAwareRules, TheWholeExpressionIsRepeatedOnceBehindVlan) {
  const FilterBuildOptions vlan{true};
  const FilterRules ports = PortRule("53", kDirectionDestination);
  EXPECT_EQ(BuildFilterExpression(ports), " ( dst port 53) ");
  EXPECT_EQ(BuildFilterExpression(ports, FilterBuildOptions{}), " ( dst port 53) ");
  EXPECT_EQ(BuildFilterExpression(ports, vlan), " ( ( dst port 53) ) or (vlan and ( ( dst port 53) )) ");

  const FilterRules both = HostAndPortRules();
  EXPECT_EQ(BuildFilterExpression(both), " ( dst host 10.0.0.2)  and ( port 53) ");
  EXPECT_EQ(BuildFilterExpression(both, vlan),
            " ( ( dst host 10.0.0.2)  and ( port 53) ) or (vlan and ( ( dst host 10.0.0.2)  and ( port 53) )) ");

  // MAC addresses and the size are read alike with or without a tag, and
  // no rules stay no filter.
  FilterRules tagBlind;
  tagBlind.mac.enabled = true;
  tagBlind.mac.AddOnTop("02:00:00:00:00:01", std::string(kDirectionSource));
  tagBlind.size = {true, 2, "40"};
  EXPECT_EQ(BuildFilterExpression(tagBlind, vlan), BuildFilterExpression(tagBlind));
  EXPECT_EQ(BuildFilterExpression(FilterRules{}, vlan), "");
  // Once a rule reads past the Ethernet header, they all come along.
  tagBlind.ports = ports.ports;
  EXPECT_NE(BuildFilterExpression(tagBlind, vlan).find("or (vlan and ("), std::string::npos);
}

// libpcap compiles what the rules build, and the programs accept the tagged
// frames as the untagged ones. Two rules joined by "and" hold the trap: had
// each been wrapped on its own, the second would read untagged frames at the
// tagged offsets.
TEST(VlanAwareRules, TaggedFramesMatchAsTheUntaggedOnes) {
  struct Case {
    const char* name;
    FilterRules rules;
    std::vector<std::uint32_t> withoutOption;
    std::vector<std::uint32_t> withOption;
  };
  const Case cases[] = {
      {"host and port", HostAndPortRules(), {Ip4Udp}, {Ip4Udp, TaggedIp4Udp}},
      {"port 53", PortRule("53", kDirectionBoth), {Ip4Udp, Ip6Udp}, {Ip4Udp, TaggedIp4Udp, Ip6Udp, TaggedIp6Udp}},
      {"src port 1000",
       PortRule("1000", kDirectionSource),
       {Ip4Udp, Ip4Tcp, Ip6Udp, Ip6Tcp},
       {Ip4Udp, TaggedIp4Udp, Ip4Tcp, TaggedIp4Tcp, Ip6Udp, TaggedIp6Udp, Ip6Tcp}},
      {"IP rules: tcp", ProtocolRule(ProtocolPage::Ip, "tcp"), {Ip4Tcp, Ip6Tcp}, {Ip4Tcp, TaggedIp4Tcp, Ip6Tcp}},
      {"ETH rules: ip6", ProtocolRule(ProtocolPage::Eth, "ip6"), {Ip6Udp, Ip6Tcp}, {Ip6Udp, TaggedIp6Udp, Ip6Tcp}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Matches(BuildFilterExpression(c.rules)), c.withoutOption) << c.name;
    EXPECT_EQ(Matches(BuildFilterExpression(c.rules, FilterBuildOptions{true})), c.withOption) << c.name;
  }
  // What the option avoids, shown on the same frames.
  EXPECT_EQ(Matches("((dst host 10.0.0.2) or (vlan and dst host 10.0.0.2)) and ((port 53) or (vlan and port 53))"),
            std::vector<std::uint32_t>{TaggedIp4Udp});
}

}  // namespace
}  // namespace qv
