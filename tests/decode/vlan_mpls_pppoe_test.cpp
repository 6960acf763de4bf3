// 802.1Q and 802.1ad tags, MPLS label stacks, and PPPoE with the PPP it
// carries: golden trees, rows and counters for representative frames, the
// edges of each header, every prefix of every frame, and the classic output
// when a decoder is switched off.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tunnel_test_support.h"

namespace qv {
namespace {

using namespace qv::testing;

const framegen::Mac kDst{0x00, 0xa0, 0xc9, 0x14, 0xc8, 0x29};
const framegen::Mac kSrc{0x00, 0x1b, 0x21, 0x3a, 0x4f, 0x01};
const framegen::Mac kInnerDst{0x02, 0x00, 0x00, 0x00, 0x00, 0x02};
const framegen::Mac kInnerSrc{0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
const framegen::Ip4 kSrcIp{10, 0, 0, 1};
const framegen::Ip4 kDstIp{10, 0, 0, 2};

// PCP 5, DEI 0, VID 100, then IPv4 and UDP.
Bytes SingleTag() {
  return FrameBuilder()
      .Ethernet(kDst, kSrc, 0x8100)
      .Raw(Hex("a0 64 08 00"))
      .Ipv4(kSrcIp, kDstIp, 17)
      .Udp(1024, 5000)
      .Raw(Hex("de ad be ef"))
      .Build();
}
// A service tag (PCP 1, DEI 1, VID 200) around a customer tag (VID 2001).
Bytes StackedTags() {
  return FrameBuilder()
      .Ethernet(framegen::kBroadcast, kSrc, 0x88a8)
      .Raw(Hex("30 c8 81 00 07 d1 08 06"))
      .Arp(1, kSrc, {192, 168, 0, 1}, {0, 0, 0, 0, 0, 0}, {192, 168, 0, 2})
      .Build();
}
// A tag whose type field is an 802.3 length: LLC and a configuration BPDU.
Bytes TagWithLength() {
  return FrameBuilder()
      .Ethernet({0x01, 0x80, 0xc2, 0, 0, 0}, kSrc, 0x8100)
      .Raw(Hex("e0 05 00 26"))
      .Llc(0x42, 0x42, 0x03)
      .Raw(Hex("0000 00 00 00 8000001b213a4f01 00000000 8000001b213a4f01 8001 0000 1400 0200 0f00"))
      .Build();
}
// Label 16 (TTL 64), then label 17 (Exp 5, bottom, TTL 63), then IPv4.
Bytes MplsTwoLabels() {
  return FrameBuilder()
      .Ethernet(kDst, kSrc, 0x8847)
      .Raw(Hex("00 01 00 40 00 01 1b 3f"))
      .Ipv4(kSrcIp, kDstIp, 17)
      .Udp(1024, 53)
      .Build();
}
// An Ethernet pseudowire: one label, the control word (sequence 5), the frame.
Bytes MplsControlWordEthernet() {
  return FrameBuilder()
      .Ethernet(kDst, kSrc, 0x8847)
      .Raw(Hex("00 01 11 40 00 00 00 05"))
      .Ethernet(kInnerDst, kInnerSrc, 0x0800)
      .Ipv4({172, 16, 0, 1}, {172, 16, 0, 2}, 1)
      .Raw(Hex("08 00 f7 fe 00 01 00 00"))
      .Build();
}
// A PADO with every kind of tag, an End-Of-List, then Ethernet padding.
Bytes PppoeDiscovery() {
  return FrameBuilder()
      .Ethernet(kDst, kSrc, 0x8863)
      .Raw(Hex("11 07 0000 0036"))
      .Raw(Hex("0101 0000"))
      .Raw(Hex("0102 0004"))
      .Text("AC01")
      .Raw(Hex("0103 0004 deadbeef"))
      .Raw(Hex("0104 0008 0102030405060708"))
      .Raw(Hex("0110 0002 0011"))
      .Raw(Hex("0203 0003"))
      .Text("bad")
      .Raw(Hex("0999 0001 ff"))
      .Raw(Hex("0000 0000"))
      .Zeros(4)
      .Build();
}
Bytes PppoeSessionIpv4() {
  return FrameBuilder()
      .Ethernet(kDst, kSrc, 0x8864)
      .Raw(Hex("11 00 1234 002a 0021"))
      .Ipv4(kSrcIp, kDstIp, 6)
      .Tcp(40000, 80, 1, 0, 0x02)
      .Build();
}
// An LCP Configure-Request (MRU and magic number options).
Bytes PppoeSessionLcp() {
  return FrameBuilder()
      .Ethernet(kDst, kSrc, 0x8864)
      .Raw(Hex("11 00 1234 0010 c021"))
      .Raw(Hex("01 07 000e 0104 05d4 0506 11223344"))
      .PadTo(60)
      .Build();
}

const std::vector<Golden>& Goldens() {
  static const std::vector<Golden> cases = {
      {"SingleTag",
       SingleTag(),
       // outline
       "Ethernet II [0,14)\n"
       "802.1Q Virtual LAN, PRI: 5, DEI: 0, ID: 100 [14,18)\n"
       "IPv4 [18,38)\n"
       "UDP [38,46)\n",
       // layers
       "802.1Q Virtual LAN, PRI: 5, DEI: 0, ID: 100 [14,18)\n"
       "  101. .... .... .... = Priority: Voice, < 10ms latency and jitter (5) [14,16)\n"
       "  ...0 .... .... .... = DEI: Ineligible [14,16)\n"
       "  .... 0000 0110 0100 = ID: 100 [14,16)\n"
       "  Type: 0x0800 - IPv4 [16,18)\n",
       // fields
       "vlan=802.1Q Virtual LAN, PRI: 5, DEI: 0, ID: 100 [14,18)\n"
       "  vlan.priority=5 [14,16)\n"
       "  vlan.dei=0 [14,16)\n"
       "  vlan.id=100 [14,16)\n"
       "  vlan.etype=0x0800 [16,18)\n",
       {14, 18, 38, 46},
       {"eth@14", "udp@46"},
       "802.1Q IPv4 UDP ",
       {"Ethernet II/1", "802.1Q/1", "IPv4/2", "UDP/3"}},
      {"StackedTags",
       StackedTags(),
       // outline
       "Ethernet II [0,14)\n"
       "IEEE 802.1ad, ID: 200 [14,18)\n"
       "802.1Q Virtual LAN, PRI: 0, DEI: 0, ID: 2001 [18,22)\n"
       "ARP [22,50)\n",
       // layers
       "IEEE 802.1ad, ID: 200 [14,18)\n"
       "  001. .... .... .... = Priority: 1 [14,16)\n"
       "  ...1 .... .... .... = DEI: 1 [14,16)\n"
       "  .... 0000 1100 1000 = ID: 200 [14,16)\n"
       "  Type: 0x8100 - 802.1Q Virtual LAN [16,18)\n"
       "802.1Q Virtual LAN, PRI: 0, DEI: 0, ID: 2001 [18,22)\n"
       "  000. .... .... .... = Priority: Best Effort (default) (0) [18,20)\n"
       "  ...0 .... .... .... = DEI: Ineligible [18,20)\n"
       "  .... 0111 1101 0001 = ID: 2001 [18,20)\n"
       "  Type: 0x0806 - ARP [20,22)\n",
       // fields
       "ieee8021ad=IEEE 802.1ad, ID: 200 [14,18)\n"
       "  ieee8021ad.priority=1 [14,16)\n"
       "  ieee8021ad.dei=1 [14,16)\n"
       "  ieee8021ad.id=200 [14,16)\n"
       "  ieee8021ah.etype=0x8100 [16,18)\n"
       "vlan=802.1Q Virtual LAN, PRI: 0, DEI: 0, ID: 2001 [18,22)\n"
       "  vlan.priority=0 [18,20)\n"
       "  vlan.dei=0 [18,20)\n"
       "  vlan.id=2001 [18,20)\n"
       "  vlan.etype=0x0806 [20,22)\n",
       {14, 18, 22, 50},
       {"eth@14", "vlan@18"},
       "802.1ad 802.1Q ARP ",
       {"Ethernet II/1", "802.1ad/1", "802.1Q/1", "ARP/1"}},
      {"TagWithLength",
       TagWithLength(),
       // outline
       "Ethernet II [0,14)\n"
       "802.1Q Virtual LAN, PRI: 7, DEI: 0, ID: 5 [14,18)\n"
       "LLC [18,21)\n"
       "BPDU [21,56)\n",
       // layers
       "802.1Q Virtual LAN, PRI: 7, DEI: 0, ID: 5 [14,18)\n"
       "  111. .... .... .... = Priority: Network Control (7) [14,16)\n"
       "  ...0 .... .... .... = DEI: Ineligible [14,16)\n"
       "  .... 0000 0000 0101 = ID: 5 [14,16)\n"
       "  Length: 38 [16,18)\n",
       // fields
       "vlan=802.1Q Virtual LAN, PRI: 7, DEI: 0, ID: 5 [14,18)\n"
       "  vlan.priority=7 [14,16)\n"
       "  vlan.dei=0 [14,16)\n"
       "  vlan.id=5 [14,16)\n"
       "  vlan.len=38 [16,18)\n",
       {14, 18, 21, 56},
       {"eth@14"},
       "802.1Q LLC BPDU ",
       {"Ethernet II/1", "802.1Q/1", "LLC/1", "BPDU/1"}},
      {"MplsTwoLabels",
       MplsTwoLabels(),
       // outline
       "Ethernet II [0,14)\n"
       "MPLS label stack: 16, 17 [14,22)\n"
       "IPv4 [22,42)\n"
       "UDP [42,50)\n",
       // layers
       "MPLS label stack: 16, 17 [14,22)\n"
       "  Label: 16, Exp: 0, S: 0, TTL: 64 [14,18)\n"
       "    0000 0000 0000 0001 0000 .... .... .... = MPLS Label: 16 (0x00010) [14,18)\n"
       "    .... .... .... .... .... 000. .... .... = MPLS Experimental Bits: 0 [14,18)\n"
       "    .... .... .... .... .... ...0 .... .... = MPLS Bottom Of Label Stack: 0 [14,18)\n"
       "    .... .... .... .... .... .... 0100 0000 = MPLS TTL: 64 [14,18)\n"
       "  Label: 17, Exp: 5, S: 1, TTL: 63 [18,22)\n"
       "    0000 0000 0000 0001 0001 .... .... .... = MPLS Label: 17 (0x00011) [18,22)\n"
       "    .... .... .... .... .... 101. .... .... = MPLS Experimental Bits: 5 [18,22)\n"
       "    .... .... .... .... .... ...1 .... .... = MPLS Bottom Of Label Stack: 1 [18,22)\n"
       "    .... .... .... .... .... .... 0011 1111 = MPLS TTL: 63 [18,22)\n",
       // fields
       "mpls=MPLS label stack: 16, 17 [14,22)\n"
       "    mpls.label=16 [14,18)\n"
       "    mpls.exp=0 [14,18)\n"
       "    mpls.bottom=0 [14,18)\n"
       "    mpls.ttl=64 [14,18)\n"
       "    mpls.label=17 [18,22)\n"
       "    mpls.exp=5 [18,22)\n"
       "    mpls.bottom=1 [18,22)\n"
       "    mpls.ttl=63 [18,22)\n",
       {14, 22, 42, 50},
       {"eth@14", "udp@50"},
       "MPLS IPv4 UDP ",
       {"Ethernet II/1", "MPLS/1", "IPv4/2", "UDP/3"}},
      {"MplsControlWordEthernet",
       MplsControlWordEthernet(),
       // outline
       "Ethernet II [0,14)\n"
       "MPLS label stack: 17 [14,22)\n"
       "Ethernet II [22,36)\n"
       "IPv4 [36,56)\n"
       "ICMP [56,64)\n",
       // layers
       "MPLS label stack: 17 [14,22)\n"
       "  Label: 17, Exp: 0, S: 1, TTL: 64 [14,18)\n"
       "    0000 0000 0000 0001 0001 .... .... .... = MPLS Label: 17 (0x00011) [14,18)\n"
       "    .... .... .... .... .... 000. .... .... = MPLS Experimental Bits: 0 [14,18)\n"
       "    .... .... .... .... .... ...1 .... .... = MPLS Bottom Of Label Stack: 1 [14,18)\n"
       "    .... .... .... .... .... .... 0100 0000 = MPLS TTL: 64 [14,18)\n"
       "  PW MPLS Control Word [18,22)\n"
       "    .... 0000 00.. .... = Flags: 0x00 [18,20)\n"
       "    ..00 0000 = Length: 0 [19,20)\n"
       "    Sequence Number: 5 [20,22)\n",
       // fields
       "mpls=MPLS label stack: 17 [14,22)\n"
       "    mpls.label=17 [14,18)\n"
       "    mpls.exp=0 [14,18)\n"
       "    mpls.bottom=1 [14,18)\n"
       "    mpls.ttl=64 [14,18)\n"
       "  pwmcw=PW MPLS Control Word [18,22)\n"
       "    pwmcw.flags=0x0000 [18,20)\n"
       "    pwmcw.length=0 [19,20)\n"
       "    pwmcw.sequence_number=5 [20,22)\n",
       {14, 22, 36, 56},
       {"eth@14"},
       "MPLS IPv4 ICMP ",
       {"Ethernet II/1", "MPLS/1", "Ethernet II/1", "IPv4/2", "ICMP/2"}},
      {"PppoeDiscovery",
       PppoeDiscovery(),
       // outline
       "Ethernet II [0,14)\n"
       "PPP-over-Ethernet Discovery [14,74)\n",
       // layers
       "PPP-over-Ethernet Discovery [14,74)\n"
       "  0001 .... = Version: 1 [14,15)\n"
       "  .... 0001 = Type: 1 [14,15)\n"
       "  Code: Active Discovery Offer (PADO) (0x07) [15,16)\n"
       "  Session ID: 0x0000 [16,18)\n"
       "  Payload Length: 54 [18,20)\n"
       "  PPPoE Tags [20,74)\n"
       "    Service-Name: (any) [20,24)\n"
       "      Tag: Service-Name (0x0101) [20,22)\n"
       "      Tag Length: 0 [22,24)\n"
       "    AC-Name: AC01 [24,32)\n"
       "      Tag: AC-Name (0x0102) [24,26)\n"
       "      Tag Length: 4 [26,28)\n"
       "      AC-Name: AC01 [28,32)\n"
       "    Host-Uniq: deadbeef [32,40)\n"
       "      Tag: Host-Uniq (0x0103) [32,34)\n"
       "      Tag Length: 4 [34,36)\n"
       "      Host-Uniq: deadbeef [36,40)\n"
       "    AC-Cookie: 0102030405060708 [40,52)\n"
       "      Tag: AC-Cookie (0x0104) [40,42)\n"
       "      Tag Length: 8 [42,44)\n"
       "      AC-Cookie: 0102030405060708 [44,52)\n"
       "    Relay-Session-Id: 0011 [52,58)\n"
       "      Tag: Relay-Session-Id (0x0110) [52,54)\n"
       "      Tag Length: 2 [54,56)\n"
       "      Relay-Session-Id: 0011 [56,58)\n"
       "    Generic-Error: bad [58,65)\n"
       "      Tag: Generic-Error (0x0203) [58,60)\n"
       "      Tag Length: 3 [60,62)\n"
       "      Generic-Error: bad [62,65)\n"
       "    Unknown: ff [65,70)\n"
       "      Tag: Unknown (0x0999) [65,67)\n"
       "      Tag Length: 1 [67,69)\n"
       "      Unknown: ff [69,70)\n"
       "    End-Of-List [70,74)\n"
       "      Tag: End-Of-List (0x0000) [70,72)\n"
       "      Tag Length: 0 [72,74)\n",
       // fields
       "pppoed=PPP-over-Ethernet Discovery [14,74)\n"
       "  pppoe.version=1 [14,15)\n"
       "  pppoe.type=1 [14,15)\n"
       "  pppoe.code=0x07 [15,16)\n"
       "  pppoe.session_id=0x0000 [16,18)\n"
       "  pppoe.payload_length=54 [18,20)\n"
       "  pppoed.tags= [20,74)\n"
       "      pppoed.tag=0x0101 [20,22)\n"
       "      pppoed.tag_length=0 [22,24)\n"
       "      pppoed.tag=0x0102 [24,26)\n"
       "      pppoed.tag_length=4 [26,28)\n"
       "      pppoed.tags.ac_name=AC01 [28,32)\n"
       "      pppoed.tag=0x0103 [32,34)\n"
       "      pppoed.tag_length=4 [34,36)\n"
       "      pppoed.tags.host_uniq=deadbeef [36,40)\n"
       "      pppoed.tag=0x0104 [40,42)\n"
       "      pppoed.tag_length=8 [42,44)\n"
       "      pppoed.tags.ac_cookie=0102030405060708 [44,52)\n"
       "      pppoed.tag=0x0110 [52,54)\n"
       "      pppoed.tag_length=2 [54,56)\n"
       "      pppoed.tags.relay_session_id=0011 [56,58)\n"
       "      pppoed.tag=0x0203 [58,60)\n"
       "      pppoed.tag_length=3 [60,62)\n"
       "      pppoed.tags.generic_error=bad [62,65)\n"
       "      pppoed.tag=0x0999 [65,67)\n"
       "      pppoed.tag_length=1 [67,69)\n"
       "      pppoed.tag.unknown_data=ff [69,70)\n"
       "      pppoed.tag=0x0000 [70,72)\n"
       "      pppoed.tag_length=0 [72,74)\n",
       {14},
       {"eth@14"},
       "PPPoE ",
       {"Ethernet II/1", "PPPoE/1"}},
      {"PppoeSessionIpv4",
       PppoeSessionIpv4(),
       // outline
       "Ethernet II [0,14)\n"
       "PPP-over-Ethernet Session [14,20)\n"
       "Point-to-Point Protocol [20,22)\n"
       "IPv4 [22,42)\n"
       "TCP [42,62)\n",
       // layers
       "PPP-over-Ethernet Session [14,20)\n"
       "  0001 .... = Version: 1 [14,15)\n"
       "  .... 0001 = Type: 1 [14,15)\n"
       "  Code: Session Data (0x00) [15,16)\n"
       "  Session ID: 0x1234 [16,18)\n"
       "  Payload Length: 42 [18,20)\n"
       "Point-to-Point Protocol [20,22)\n"
       "  Protocol: Internet Protocol version 4 (0x0021) [20,22)\n",
       // fields
       "pppoes=PPP-over-Ethernet Session [14,20)\n"
       "  pppoe.version=1 [14,15)\n"
       "  pppoe.type=1 [14,15)\n"
       "  pppoe.code=0x00 [15,16)\n"
       "  pppoe.session_id=0x1234 [16,18)\n"
       "  pppoe.payload_length=42 [18,20)\n"
       "ppp=Point-to-Point Protocol [20,22)\n"
       "  ppp.protocol=0x0021 [20,22)\n",
       {14, 20, 22, 42, 62},
       {"eth@14", "tcp@62"},
       "PPPoE PPP IPv4 TCP ",
       {"Ethernet II/1", "PPPoE/1", "PPP/1", "IPv4/2", "TCP/3"}},
      {"PppoeSessionLcp",
       PppoeSessionLcp(),
       // outline
       "Ethernet II [0,14)\n"
       "PPP-over-Ethernet Session [14,20)\n"
       "Point-to-Point Protocol [20,22)\n"
       "PPP Link Control Protocol [22,36)\n",
       // layers
       "PPP-over-Ethernet Session [14,20)\n"
       "  0001 .... = Version: 1 [14,15)\n"
       "  .... 0001 = Type: 1 [14,15)\n"
       "  Code: Session Data (0x00) [15,16)\n"
       "  Session ID: 0x1234 [16,18)\n"
       "  Payload Length: 16 [18,20)\n"
       "Point-to-Point Protocol [20,22)\n"
       "  Protocol: Link Control Protocol (0xc021) [20,22)\n"
       "PPP Link Control Protocol [22,36)\n"
       "  Code: Configuration Request (1) [22,23)\n"
       "  Identifier: 7 (0x07) [23,24)\n"
       "  Length: 14 [24,26)\n"
       "  Data (10 bytes) [26,36)\n",
       // fields
       "pppoes=PPP-over-Ethernet Session [14,20)\n"
       "  pppoe.version=1 [14,15)\n"
       "  pppoe.type=1 [14,15)\n"
       "  pppoe.code=0x00 [15,16)\n"
       "  pppoe.session_id=0x1234 [16,18)\n"
       "  pppoe.payload_length=16 [18,20)\n"
       "ppp=Point-to-Point Protocol [20,22)\n"
       "  ppp.protocol=0xc021 [20,22)\n"
       "lcp=PPP Link Control Protocol [22,36)\n"
       "  ppp.code=1 [22,23)\n"
       "  ppp.identifier=7 [23,24)\n"
       "  ppp.length=14 [24,26)\n"
       "  ppp.data=010405d4050611223344 [26,36)\n",
       {14, 20, 22},
       {"eth@14", "ppp@22"},
       "PPPoE PPP ",
       {"Ethernet II/1", "PPPoE/1", "PPP/1"}},
  };
  return cases;
}

TEST(TagsLabelsPppoe, GoldenTreesRowsAndCounters) {
  for (const Golden& g : Goldens()) {
    ExpectGolden(g);
  }
}

TEST(TagsLabelsPppoe, RowsShowTheInnermostHeaders) {
  const SummaryDecode tag = DecodeSummaryOf(SingleTag(), EnabledDecoders::All());
  EXPECT_EQ(tag.row.SrcMacText(), "0:1b:21:3a:4f:1");
  EXPECT_EQ(tag.row.SrcIpText(), "10.0.0.1");
  EXPECT_EQ(tag.row.DstIpText(), "10.0.0.2");
  EXPECT_EQ(tag.row.SrcPortText(), "1024");
  EXPECT_EQ(tag.row.DstPortText(), "5000");
  ASSERT_EQ(tag.sink.samples.size(), 1u);
  EXPECT_EQ(tag.sink.samples[0].destinationPort, 5000);

  // The pseudowire's frame gives the MAC columns; the Ethernet II inside is
  // counted, but rows never list it.
  const SummaryDecode pw = DecodeSummaryOf(MplsControlWordEthernet(), EnabledDecoders::All());
  EXPECT_EQ(pw.row.SrcMacText(), "2:0:0:0:0:1");
  EXPECT_EQ(pw.row.DstMacText(), "2:0:0:0:0:2");
  EXPECT_EQ(pw.row.SrcIpText(), "172.16.0.1");
  EXPECT_EQ(pw.row.ProtocolsText(), "MPLS IPv4 ICMP ");

  const SummaryDecode session = DecodeSummaryOf(PppoeSessionIpv4(), EnabledDecoders::All());
  EXPECT_EQ(session.row.SrcPortText(), "40000");
  ASSERT_EQ(session.sink.samples.size(), 1u);
  EXPECT_EQ(session.sink.samples[0].totalLength, 40u);
}

// ------------------------------------------------------------ tags

TEST(Vlan, TheTypeBeforeATagNamesItsKind) {
  struct Case {
    std::uint16_t tpid;
    const char* layer;
    const char* chain;
  };
  const Case cases[] = {
      {0x8100, "802.1Q Virtual LAN, PRI: 0, DEI: 0, ID: 7 [14,18)\n", "802.1Q ARP "},
      {0x9100, "802.1Q Virtual LAN, PRI: 0, DEI: 0, ID: 7 [14,18)\n", "802.1Q ARP "},
      {0x88a8, "IEEE 802.1ad, ID: 7 [14,18)\n", "802.1ad ARP "},
  };
  for (const Case& c : cases) {
    const Bytes frame = FrameBuilder()
                            .Ethernet(framegen::kBroadcast, kSrc, c.tpid)
                            .Raw(Hex("00 07 08 06"))
                            .Arp(1, kSrc, {192, 168, 0, 1}, {0, 0, 0, 0, 0, 0}, {192, 168, 0, 2})
                            .Build();
    const TreeDecode t = DecodeTreeOf(frame, nullptr, EnabledDecoders::All());
    EXPECT_EQ(Outline(t.tree), std::string("Ethernet II [0,14)\n") + c.layer + "ARP [18,46)\n") << c.tpid;
    EXPECT_EQ(DecodeSummaryOf(frame, EnabledDecoders::All()).row.ProtocolsText(), c.chain) << c.tpid;
  }
}

TEST(Vlan, ServiceTagWithALengthIsFollowedByLlc) {
  const Bytes frame =
      FrameBuilder().Ethernet(kDst, kSrc, 0x88a8).Raw(Hex("00 c8 00 26")).Llc(0xfe, 0xfe, 0x03).Zeros(35).Build();
  const TreeDecode t = DecodeTreeOf(frame, nullptr, EnabledDecoders::All());
  EXPECT_EQ(FieldValue(t.tree, frame, "ieee8021ad.len"), "38");
  EXPECT_EQ(FieldValue(t.tree, frame, "ieee8021ah.etype"), "<absent>");
  EXPECT_EQ(DecodeSummaryOf(frame, EnabledDecoders::All()).row.ProtocolsText(), "802.1ad LLC ");
}

TEST(Vlan, UnknownTypeInATagGoesToTheScripts) {
  const Bytes frame = FrameBuilder().Ethernet(kDst, kSrc, 0x8100).Raw(Hex("00 05 88 cc")).Zeros(42).Build();
  RecordingScripts scripts;
  const TreeDecode t = DecodeTreeOf(frame, &scripts, EnabledDecoders::All());
  EXPECT_EQ(FieldValue(t.tree, frame, "vlan.etype"), "0x88cc");
  EXPECT_EQ(scripts.offers, (std::vector<std::string>{"eth@14", "vlan@18"}));
  EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{14, 18, 18}));
}

TEST(Vlan, AStackDeeperThanTheNestingLimitStopsThere) {
  FrameBuilder b;
  b.Ethernet(kDst, kSrc, 0x8100);
  for (int i = 0; i < 60; ++i) b.Raw(Hex("00 01 81 00"));
  const Bytes frame = b.Raw(Hex("00 01 08 00")).Zeros(20).Build();
  const SummaryDecode s = DecodeSummaryOf(frame, EnabledDecoders::All());
  EXPECT_EQ(s.sink.protocols.size(), static_cast<std::size_t>(1 + PacketDecoder::kMaxDepth));
  const TreeDecode t = DecodeTreeOf(frame, nullptr, EnabledDecoders::All());
  EXPECT_EQ(t.tree.TopLevel().size(), static_cast<std::size_t>(1 + PacketDecoder::kMaxDepth));
  EXPECT_TRUE(RangesWithin(t.tree, static_cast<std::uint32_t>(frame.size())));
}

// ------------------------------------------------------------ MPLS

TEST(Mpls, AStackWithoutBottomEndsAtTheCapturedEnd) {
  // Two whole entries without the bottom bit, then half an entry.
  const Bytes frame = FrameBuilder().Ethernet(kDst, kSrc, 0x8847).Raw(Hex("00 01 00 40 00 02 00 40 45 00")).Build();
  RecordingScripts scripts;
  const TreeDecode t = DecodeTreeOf(frame, &scripts, EnabledDecoders::All());
  EXPECT_EQ(Outline(t.tree), "Ethernet II [0,14)\nMPLS label stack: 16, 32 [14,22)\n");
  EXPECT_EQ(scripts.offers, (std::vector<std::string>{"eth@14", "mpls@22"}));
  EXPECT_EQ(DecodeSummaryOf(frame, EnabledDecoders::All()).row.ProtocolsText(), "MPLS ");

  // A long stack: the layer line names the first eight labels.
  FrameBuilder b;
  b.Ethernet(kDst, kSrc, 0x8847);
  for (std::uint8_t label = 1; label <= 12; ++label) b.Raw({0x00, 0x00, static_cast<std::uint8_t>(label << 4), 0x40});
  const Bytes longStack = b.Build();
  const TreeDecode l = DecodeTreeOf(longStack, nullptr, EnabledDecoders::All());
  EXPECT_EQ(Outline(l.tree), "Ethernet II [0,14)\nMPLS label stack: 1, 2, 3, 4, 5, 6, 7, 8, ... [14,62)\n");
  EXPECT_EQ(l.tree.Children(l.tree.TopLevel()[1]).size(), 12u);
}

TEST(Mpls, ThePayloadIsToldByItsFirstNibble) {
  const auto frameWith = [](const char* payload) {
    return FrameBuilder().Ethernet(kDst, kSrc, 0x8847).Raw(Hex("00 01 11 40")).Raw(Hex(payload)).Zeros(40).Build();
  };
  // IPv6 goes to its decoder, in whichever form that decoder is.
  const SummaryDecode ipv6 = DecodeSummaryOf(frameWith("60 00 00 00 00 00 3b 40"), EnabledDecoders::All());
  EXPECT_EQ(ipv6.sink.protocols, (std::vector<std::string>{"Ethernet II/1", "MPLS/1", "IPv6/2"}));

  // A pseudowire's associated channel (nibble 1) and anything else: not decoded.
  for (const char* payload : {"10 00 00 21 de ad", "f0 00 00 00"}) {
    const Bytes frame = frameWith(payload);
    RecordingScripts scripts;
    const TreeDecode t = DecodeTreeOf(frame, &scripts, EnabledDecoders::All());
    EXPECT_EQ(Outline(t.tree), "Ethernet II [0,14)\nMPLS label stack: 17 [14,18)\n") << payload;
    EXPECT_EQ(scripts.offers, (std::vector<std::string>{"eth@14", "mpls@18"})) << payload;
    EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{14, 18})) << payload;
  }
}

TEST(Mpls, ReservedLabelsAreNamed) {
  struct Case {
    const char* entry;
    const char* line;
  };
  const Case cases[] = {
      {"00 00 01 40", "MPLS Label: IPv4 Explicit-Null (0)"},
      {"00 00 11 40", "MPLS Label: Router Alert (1)"},
      {"00 00 21 40", "MPLS Label: IPv6 Explicit-Null (2)"},
      {"00 00 d1 40", "MPLS Label: Generic Associated Channel Label (GAL) (13)"},
      {"ff ff f1 40", "MPLS Label: 1048575 (0xfffff)"},
  };
  for (const Case& c : cases) {
    const Bytes frame = FrameBuilder().Ethernet(kDst, kSrc, 0x8847).Raw(Hex(c.entry)).Zeros(46).Build();
    const std::string text = DecodeTreeOf(frame, nullptr, EnabledDecoders::All()).text;
    EXPECT_NE(text.find(std::string(" = ") + c.line + " [14,18)\n"), std::string::npos) << text;
  }
}

// ------------------------------------------------------------ PPPoE and PPP

TEST(Pppoe, DiscoveryCodesAreNamed) {
  struct Case {
    std::uint8_t code;
    const char* line;
  };
  const Case cases[] = {
      {0x09, "Code: Active Discovery Initiation (PADI) (0x09)"},
      {0x19, "Code: Active Discovery Request (PADR) (0x19)"},
      {0x65, "Code: Active Discovery Session-confirmation (PADS) (0x65)"},
      {0xa7, "Code: Active Discovery Terminate (PADT) (0xa7)"},
      {0x42, "Code: Unknown (0x42)"},
  };
  for (const Case& c : cases) {
    const Bytes frame = FrameBuilder()
                            .Ethernet(framegen::kBroadcast, kSrc, 0x8863)
                            .Raw({0x11, c.code, 0x00, 0x00, 0x00, 0x04})
                            .Raw(Hex("0101 0000"))
                            .PadTo(60)
                            .Build();
    const std::string text = DecodeTreeOf(frame, nullptr, EnabledDecoders::All()).text;
    EXPECT_NE(text.find(std::string("  ") + c.line + " [15,16)\n"), std::string::npos) << text;
  }
}

TEST(Pppoe, TagsEndAtThePayloadLength) {
  // The payload length covers the first tag only, which claims 300 bytes.
  const Bytes frame = FrameBuilder()
                          .Ethernet(kDst, kSrc, 0x8863)
                          .Raw(Hex("11 09 0000 0008 0103 012c 01 02 03 04"))
                          .Raw(Hex("0102 0002 41 42"))
                          .PadTo(60)
                          .Build();
  const TreeDecode t = DecodeTreeOf(frame, nullptr, EnabledDecoders::All());
  EXPECT_EQ(OwnFieldsText(t.tree, frame),
            "pppoed=PPP-over-Ethernet Discovery [14,28)\n"
            "  pppoe.version=1 [14,15)\n"
            "  pppoe.type=1 [14,15)\n"
            "  pppoe.code=0x09 [15,16)\n"
            "  pppoe.session_id=0x0000 [16,18)\n"
            "  pppoe.payload_length=8 [18,20)\n"
            "  pppoed.tags= [20,28)\n"
            "      pppoed.tag=0x0103 [20,22)\n"
            "      pppoed.tag_length=300 [22,24)\n"
            "      pppoed.tags.host_uniq=01020304 [24,28)\n");

  // A payload length beyond the captured bytes: the tags end with them.
  const Bytes cut = FrameBuilder().Ethernet(kDst, kSrc, 0x8863).Raw(Hex("11 07 0000 0400 0102 0010 41 43")).Build();
  const TreeDecode c = DecodeTreeOf(cut, nullptr, EnabledDecoders::All());
  EXPECT_EQ(FieldValue(c.tree, cut, "pppoed.tags.ac_name"), "AC");
  EXPECT_TRUE(RangesWithin(c.tree, static_cast<std::uint32_t>(cut.size())));
}

TEST(Ppp, ProtocolsOtherThanIpAreNamedAndShownAsData) {
  struct Case {
    const char* ppp;
    const char* protocolLine;
    const char* data;
  };
  const Case cases[] = {
      {"c223 01 01 0009 04 01020304", "Protocol: Challenge Handshake Authentication Protocol (0xc223)",
       "010100090401020304"},
      {"c023 01 01 0006 00 00", "Protocol: Password Authentication Protocol (0xc023)", "010100060000"},
      {"4e21 de ad be ef", "Protocol: Unknown (0x4e21)", "deadbeef"},
  };
  for (const Case& c : cases) {
    const Bytes ppp = Hex(c.ppp);
    const Bytes frame = FrameBuilder()
                            .Ethernet(kDst, kSrc, 0x8864)
                            .Raw(Hex("11 00 0001"))
                            .Raw({0, static_cast<std::uint8_t>(ppp.size())})
                            .Raw(ppp)
                            .Build();
    RecordingScripts scripts;
    const TreeDecode t = DecodeTreeOf(frame, &scripts, EnabledDecoders::All());
    EXPECT_NE(t.text.find(std::string("  ") + c.protocolLine + " [20,22)\n"), std::string::npos) << t.text;
    EXPECT_EQ(FieldValue(t.tree, frame, "ppp.data"), c.data);
    EXPECT_EQ(scripts.offers, (std::vector<std::string>{"eth@14", "ppp@22"}));
    EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{14, 20, 22}));
    EXPECT_EQ(DecodeSummaryOf(frame, EnabledDecoders::All()).row.ProtocolsText(), "PPPoE PPP ");
  }
}

TEST(Ppp, CompressedProtocolFieldAndMplsInside) {
  // Protocol field compression: the one byte 0x21 is IPv4.
  const Bytes compressed = FrameBuilder()
                               .Ethernet(kDst, kSrc, 0x8864)
                               .Raw(Hex("11 00 0001 0029 21"))
                               .Ipv4(kSrcIp, kDstIp, 17)
                               .Udp(1, 2)
                               .Raw(Hex("00"))
                               .Build();
  const TreeDecode t = DecodeTreeOf(compressed, nullptr, EnabledDecoders::All());
  EXPECT_NE(t.text.find("Point-to-Point Protocol [20,21)\n  Protocol: Internet Protocol version 4 (0x0021) [20,21)\n"),
            std::string::npos)
      << t.text;
  EXPECT_EQ(FieldValue(t.tree, compressed, "ppp.protocol"), "0x0021");
  EXPECT_EQ(DecodeSummaryOf(compressed, EnabledDecoders::All()).row.ProtocolsText(), "PPPoE PPP IPv4 UDP ");

  // MPLS unicast in PPP, with the MPLS decoder on and off.
  const Bytes mpls = FrameBuilder()
                         .Ethernet(kDst, kSrc, 0x8864)
                         .Raw(Hex("11 00 0001 002a 0281 00 01 01 40"))
                         .Ipv4(kSrcIp, kDstIp, 17)
                         .Udp(1, 2)
                         .Build();
  EXPECT_EQ(DecodeSummaryOf(mpls, EnabledDecoders::All()).row.ProtocolsText(), "PPPoE PPP MPLS IPv4 UDP ");
  EXPECT_EQ(DecodeSummaryOf(mpls, AllBut(OptionalDecoder::Mpls)).row.ProtocolsText(), "PPPoE PPP ");
  const TreeDecode off = DecodeTreeOf(mpls, nullptr, AllBut(OptionalDecoder::Mpls));
  EXPECT_EQ(Outline(off.tree),
            "Ethernet II [0,14)\nPPP-over-Ethernet Session [14,20)\nPoint-to-Point Protocol [20,22)\n");
  EXPECT_EQ(FieldValue(off.tree, mpls, "ppp.data").substr(0, 8), "00010140");
}

TEST(Pppoe, SessionWithoutPppGoesToTheScripts) {
  const Bytes frame = FrameBuilder().Ethernet(kDst, kSrc, 0x8864).Raw(Hex("11 00 0001 0000")).Build();
  RecordingScripts scripts;
  const TreeDecode t = DecodeTreeOf(frame, &scripts, EnabledDecoders::All());
  EXPECT_EQ(scripts.offers, (std::vector<std::string>{"eth@14", "pppoes@20"}));
  EXPECT_EQ(DecodeSummaryOf(frame, EnabledDecoders::All()).row.ProtocolsText(), "PPPoE ");
}

// ------------------------------------------------------------ all frames

std::vector<Bytes> EdgeFrames() {
  return {
      // Every tag kind with a length; a stack without bottom; LCP with a
      // length beyond the bytes; a control word cut short.
      FrameBuilder().Ethernet(kDst, kSrc, 0x88a8).Raw(Hex("00 c8 81 00 00 05 00 26 42 42 03 00 00")).Build(),
      FrameBuilder().Ethernet(kDst, kSrc, 0x8848).Raw(Hex("00 01 00 40 00 02 00 40 00 03 00 40")).Build(),
      FrameBuilder().Ethernet(kDst, kSrc, 0x8864).Raw(Hex("11 00 0001 0040 ff 03 c0 21 09 01 ff ff 11 22")).Build(),
      FrameBuilder().Ethernet(kDst, kSrc, 0x8847).Raw(Hex("00 01 11 40 00 00 00 05 02 00 00")).Build(),
      FrameBuilder().Ethernet(kDst, kSrc, 0x8863).Raw(Hex("11 07 0000 ffff 0105 0009 00000de9 0102 0304 05")).Build(),
  };
}

TEST(TagsLabelsPppoe, EveryPrefixOfEveryFrameStaysWithinItsBytes) {
  for (const Golden& g : Goldens()) {
    SCOPED_TRACE(g.name);
    ExpectEveryPrefixWithin(g.frame);
  }
  for (const Bytes& frame : EdgeFrames()) ExpectEveryPrefixWithin(frame);
}

TEST(TagsLabelsPppoe, SwitchedOffTheClassicOutputReturns) {
  struct Case {
    const char* name;
    OptionalDecoder off;
  };
  const Case cases[] = {
      {"SingleTag", OptionalDecoder::Vlan},
      {"StackedTags", OptionalDecoder::Vlan},
      {"TagWithLength", OptionalDecoder::Vlan},
      {"MplsTwoLabels", OptionalDecoder::Mpls},
      {"MplsControlWordEthernet", OptionalDecoder::Mpls},
      {"PppoeDiscovery", OptionalDecoder::Pppoe},
      {"PppoeSessionIpv4", OptionalDecoder::Pppoe},
      {"PppoeSessionLcp", OptionalDecoder::Pppoe},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes* frame = nullptr;
    for (const Golden& g : Goldens()) {
      if (std::string(g.name) == c.name) frame = &g.frame;
    }
    ASSERT_NE(frame, nullptr);
    for (const EnabledDecoders decoders : {AllBut(c.off), EnabledDecoders::Classic()}) {
      RecordingScripts offScripts;
      RecordingScripts classicScripts;
      const TreeDecode off = DecodeTreeOf(*frame, &offScripts, decoders);
      const TreeDecode classic = DecodeTreeOf(*frame, &classicScripts);
      EXPECT_EQ(off.text, classic.text);
      EXPECT_EQ(off.layerStarts, classic.layerStarts);
      EXPECT_EQ(offScripts.offers, classicScripts.offers);
      const SummaryDecode s = DecodeSummaryOf(*frame, decoders);
      const SummaryDecode k = DecodeSummaryOf(*frame);
      EXPECT_EQ(s.row.ProtocolsText(), k.row.ProtocolsText());
      EXPECT_EQ(s.sink.protocols, k.sink.protocols);
    }
    // The classic decoders see an unknown EtherType.
    EXPECT_EQ(DecodeSummaryOf(*frame).row.ProtocolsText(), "");
  }
}

// ------------------------------------------------------------ real captures

struct CorpusCase {
  const char* file;
  std::size_t frame;  // from 1, as tshark counts
  const char* abbrev;
  const char* value;  // as tshark -T fields prints it
};

// Values read from these captures with tshark.
const CorpusCase kCorpusCases[] = {
    {"802.1ad_QinQ.pcap", 1, "ieee8021ad.id", "200"},
    {"802.1ad_QinQ.pcap", 1, "ieee8021ah.etype", "0x8100"},
    {"802.1ad_QinQ.pcap", 1, "vlan.id", "2001"},
    {"802.1ad_QinQ.pcap", 1, "vlan.etype", "0x0806"},
    {"arp-too-long-tha.pcap", 1, "ieee8021ad.priority", "1"},
    {"arp-too-long-tha.pcap", 1, "ieee8021ad.dei", "1"},
    {"arp-too-long-tha.pcap", 1, "ieee8021ad.id", "48"},
    {"MSTP_Intra-Region_BPDUs.pcap", 1, "vlan.id", "0"},
    {"MSTP_Intra-Region_BPDUs.pcap", 1, "vlan.len", "137"},
    {"rpvstp-trunk-native-vid5.pcap", 3, "vlan.id", "1"},
    {"rpvstp-trunk-native-vid5.pcap", 3, "vlan.len", "50"},
    {"rpvstp-trunk-native-vid5.pcap", 12, "vlan.len", "85"},
    {"isis_sid.pcap", 1, "vlan.priority", "6"},
    {"isis_sid.pcap", 1, "vlan.id", "46"},
    {"isis_sid.pcap", 1, "vlan.len", "498"},
};

struct CorpusChain {
  const char* file;
  std::size_t frame;
  const char* chain;
};

const CorpusChain kCorpusChains[] = {
    {"802.1ad_QinQ.pcap", 1, "802.1ad 802.1Q ARP "},          {"arp-too-long-tha.pcap", 1, "802.1ad ARP "},
    {"MSTP_Intra-Region_BPDUs.pcap", 1, "802.1Q LLC BPDU "},  {"MSTP_Intra-Region_BPDUs.pcap", 2, "LLC BPDU "},
    {"rpvstp-trunk-native-vid5.pcap", 3, "802.1Q LLC SNAP "}, {"isis_sid.pcap", 1, "802.1Q LLC "},
};

TEST(TagsLabelsPppoe, RealCapturesMatchTshark) {
  for (const CorpusCase& c : kCorpusCases) {
    SCOPED_TRACE(std::string(c.file) + " frame " + std::to_string(c.frame) + " " + c.abbrev);
    const std::vector<Bytes> frames = SavefileFrames(CorpusFile(c.file));
    if (frames.empty()) GTEST_SKIP() << "no capture corpus";
    ASSERT_GE(frames.size(), c.frame);
    const Bytes& frame = frames[c.frame - 1];
    EXPECT_EQ(FieldValue(DecodeTreeOf(frame, nullptr, EnabledDecoders::All()).tree, frame, c.abbrev), c.value);
  }
  for (const CorpusChain& c : kCorpusChains) {
    SCOPED_TRACE(std::string(c.file) + " frame " + std::to_string(c.frame));
    const std::vector<Bytes> frames = SavefileFrames(CorpusFile(c.file));
    ASSERT_GE(frames.size(), c.frame);
    EXPECT_EQ(DecodeSummaryOf(frames[c.frame - 1], EnabledDecoders::All()).row.ProtocolsText(), c.chain);
  }
}

}  // namespace
}  // namespace qv
