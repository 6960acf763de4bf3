// GRE (its optional fields, enhanced GRE, and the types it carries) and
// VXLAN: golden trees, rows and counters for representative frames, the
// edges of each header, every prefix of every frame, and the classic output
// when a decoder is switched off.

#include <gtest/gtest.h>

#include <array>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "tunnel_test_support.h"

namespace qv {
namespace {

using namespace qv::testing;

const framegen::Mac kDst{0x00, 0xa0, 0xc9, 0x14, 0xc8, 0x29};
const framegen::Mac kSrc{0x00, 0x1b, 0x21, 0x3a, 0x4f, 0x01};
const framegen::Mac kInnerDst{0x02, 0x00, 0x00, 0x00, 0x00, 0x02};
const framegen::Mac kInnerSrc{0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
const framegen::Ip4 kOuterSrc{192, 0, 2, 1};
const framegen::Ip4 kOuterDst{192, 0, 2, 2};
const framegen::Ip4 kInnerSrcIp{10, 1, 0, 1};
const framegen::Ip4 kInnerDstIp{10, 1, 0, 2};
constexpr std::uint8_t kGre = 47;
const Bytes kEchoRequest = Hex("08 00 f7 fe 00 01 00 00");

FrameBuilder OuterGre() { return FrameBuilder().Ethernet(kDst, kSrc, 0x0800).Ipv4(kOuterSrc, kOuterDst, kGre); }

// Checksum (with its offset), key and sequence number, then IPv4 and TCP.
Bytes GreChecksumKeySequence() {
  return OuterGre()
      .Raw(Hex("b0 00 08 00 ab cd 00 00 00 00 10 00 00 00 00 07"))
      .Ipv4(kInnerSrcIp, kInnerDstIp, 6)
      .Tcp(1234, 80, 1, 0, 0x02)
      .Build();
}
// Transparent Ethernet bridging with a key: an Ethernet frame inside.
Bytes GreBridging() {
  return OuterGre()
      .Raw(Hex("20 00 65 58 00 00 00 2a"))
      .Ethernet(kInnerDst, kInnerSrc, 0x0800)
      .Ipv4(kInnerSrcIp, kInnerDstIp, 1)
      .Raw(kEchoRequest)
      .Build();
}
// Enhanced GRE (PPTP) with sequence and acknowledgment numbers; an LCP
// Echo-Request with the HDLC-like address and control bytes.
Bytes GreEnhancedPpp() {
  return OuterGre()
      .Raw(Hex("30 81 88 0b 00 0c 00 05 00 00 00 02 00 00 00 01"))
      .Raw(Hex("ff 03 c0 21 09 01 00 08 11 22 33 44"))
      .Build();
}
// ERSPAN type II: named, its header and the mirrored frame shown as data.
Bytes GreErspan() {
  return OuterGre()
      .Raw(Hex("10 00 88 be 00 00 00 01"))
      .Raw(Hex("10 01 00 64 00 00 00 00"))
      .Ethernet(kInnerDst, kInnerSrc, 0x0806)
      .Zeros(28)
      .Build();
}
Bytes Vxlan() {
  return FrameBuilder()
      .Ethernet(kDst, kSrc, 0x0800)
      .Ipv4(kOuterSrc, kOuterDst, 17)
      .Udp(45149, 4789)
      .Raw(Hex("08 00 00 00 00 00 64 00"))
      .Ethernet(kInnerDst, kInnerSrc, 0x0800)
      .Ipv4(kInnerSrcIp, kInnerDstIp, 1)
      .Raw(kEchoRequest)
      .Build();
}

const std::vector<Golden>& Goldens() {
  static const std::vector<Golden> cases = {
      {"GreChecksumKeySequence",
       GreChecksumKeySequence(),
       // outline
       "Ethernet II [0,14)\n"
       "IPv4 [14,34)\n"
       "Generic Routing Encapsulation (IPv4) [34,50)\n"
       "IPv4 [50,70)\n"
       "TCP [70,90)\n",
       // layers
       "Generic Routing Encapsulation (IPv4) [34,50)\n"
       "  Flags and Version: 0xb000 [34,36)\n"
       "    1... .... .... .... = Checksum Bit: Yes [34,36)\n"
       "    .0.. .... .... .... = Routing Bit: No [34,36)\n"
       "    ..1. .... .... .... = Key Bit: Yes [34,36)\n"
       "    ...1 .... .... .... = Sequence Number Bit: Yes [34,36)\n"
       "    .... 0... .... .... = Strict Source Route Bit: No [34,36)\n"
       "    .... .000 .... .... = Recursion control: 0 [34,36)\n"
       "    .... .... 0000 0... = Flags (Reserved): 0 [34,36)\n"
       "    .... .... .... .000 = Version: GRE (0) [34,36)\n"
       "  Protocol Type: 0x0800 - IPv4 [36,38)\n"
       "  Checksum: 0xabcd [38,40)\n"
       "  Offset: 0 [40,42)\n"
       "  Key: 0x00001000 [42,46)\n"
       "  Sequence Number: 7 [46,50)\n",
       // fields
       "gre=Generic Routing Encapsulation (IPv4) [34,50)\n"
       "  gre.flags_and_version=0xb000 [34,36)\n"
       "    gre.flags.checksum=1 [34,36)\n"
       "    gre.flags.routing=0 [34,36)\n"
       "    gre.flags.key=1 [34,36)\n"
       "    gre.flags.sequence_number=1 [34,36)\n"
       "    gre.flags.strict_source_route=0 [34,36)\n"
       "    gre.flags.recursion_control=0 [34,36)\n"
       "    gre.flags.reserved=0 [34,36)\n"
       "    gre.flags.version=0 [34,36)\n"
       "  gre.proto=0x0800 [36,38)\n"
       "  gre.checksum=0xabcd [38,40)\n"
       "  gre.offset=0 [40,42)\n"
       "  gre.key=0x00001000 [42,46)\n"
       "  gre.sequence_number=7 [46,50)\n",
       {14, 34, 50, 70, 90},
       {"ipv4@34", "tcp@90"},
       "IPv4 GRE IPv4 TCP ",
       {"Ethernet II/1", "IPv4/2", "GRE/2", "IPv4/2", "TCP/3"}},
      {"GreBridging",
       GreBridging(),
       // outline
       "Ethernet II [0,14)\n"
       "IPv4 [14,34)\n"
       "Generic Routing Encapsulation (Transparent Ethernet bridging) [34,42)\n"
       "Ethernet II [42,56)\n"
       "IPv4 [56,76)\n"
       "ICMP [76,84)\n",
       // layers
       "Generic Routing Encapsulation (Transparent Ethernet bridging) [34,42)\n"
       "  Flags and Version: 0x2000 [34,36)\n"
       "    0... .... .... .... = Checksum Bit: No [34,36)\n"
       "    .0.. .... .... .... = Routing Bit: No [34,36)\n"
       "    ..1. .... .... .... = Key Bit: Yes [34,36)\n"
       "    ...0 .... .... .... = Sequence Number Bit: No [34,36)\n"
       "    .... 0... .... .... = Strict Source Route Bit: No [34,36)\n"
       "    .... .000 .... .... = Recursion control: 0 [34,36)\n"
       "    .... .... 0000 0... = Flags (Reserved): 0 [34,36)\n"
       "    .... .... .... .000 = Version: GRE (0) [34,36)\n"
       "  Protocol Type: 0x6558 - Transparent Ethernet bridging [36,38)\n"
       "  Key: 0x0000002a [38,42)\n",
       // fields
       "gre=Generic Routing Encapsulation (Transparent Ethernet bridging) [34,42)\n"
       "  gre.flags_and_version=0x2000 [34,36)\n"
       "    gre.flags.checksum=0 [34,36)\n"
       "    gre.flags.routing=0 [34,36)\n"
       "    gre.flags.key=1 [34,36)\n"
       "    gre.flags.sequence_number=0 [34,36)\n"
       "    gre.flags.strict_source_route=0 [34,36)\n"
       "    gre.flags.recursion_control=0 [34,36)\n"
       "    gre.flags.reserved=0 [34,36)\n"
       "    gre.flags.version=0 [34,36)\n"
       "  gre.proto=0x6558 [36,38)\n"
       "  gre.key=0x0000002a [38,42)\n",
       {14, 34, 42, 56, 76},
       {"ipv4@34"},
       "IPv4 GRE IPv4 ICMP ",
       {"Ethernet II/1", "IPv4/2", "GRE/2", "Ethernet II/1", "IPv4/2", "ICMP/2"}},
      {"GreEnhancedPpp",
       GreEnhancedPpp(),
       // outline
       "Ethernet II [0,14)\n"
       "IPv4 [14,34)\n"
       "Generic Routing Encapsulation (PPP) [34,50)\n"
       "Point-to-Point Protocol [50,54)\n"
       "PPP Link Control Protocol [54,62)\n",
       // layers
       "Generic Routing Encapsulation (PPP) [34,50)\n"
       "  Flags and Version: 0x3081 [34,36)\n"
       "    0... .... .... .... = Checksum Bit: No [34,36)\n"
       "    .0.. .... .... .... = Routing Bit: No [34,36)\n"
       "    ..1. .... .... .... = Key Bit: Yes [34,36)\n"
       "    ...1 .... .... .... = Sequence Number Bit: Yes [34,36)\n"
       "    .... 0... .... .... = Strict Source Route Bit: No [34,36)\n"
       "    .... .000 .... .... = Recursion control: 0 [34,36)\n"
       "    .... .... 1... .... = Acknowledgment: Yes [34,36)\n"
       "    .... .... .000 0... = Flags (Reserved): 0 [34,36)\n"
       "    .... .... .... .001 = Version: Enhanced GRE (1) [34,36)\n"
       "  Protocol Type: 0x880b - PPP [36,38)\n"
       "  Payload Length: 12 [38,40)\n"
       "  Call ID: 5 [40,42)\n"
       "  Sequence Number: 2 [42,46)\n"
       "  Acknowledgment Number: 1 [46,50)\n"
       "Point-to-Point Protocol [50,54)\n"
       "  Address: 0xff [50,51)\n"
       "  Control: 0x03 [51,52)\n"
       "  Protocol: Link Control Protocol (0xc021) [52,54)\n"
       "PPP Link Control Protocol [54,62)\n"
       "  Code: Echo Request (9) [54,55)\n"
       "  Identifier: 1 (0x01) [55,56)\n"
       "  Length: 8 [56,58)\n"
       "  Data (4 bytes) [58,62)\n",
       // fields
       "gre=Generic Routing Encapsulation (PPP) [34,50)\n"
       "  gre.flags_and_version=0x3081 [34,36)\n"
       "    gre.flags.checksum=0 [34,36)\n"
       "    gre.flags.routing=0 [34,36)\n"
       "    gre.flags.key=1 [34,36)\n"
       "    gre.flags.sequence_number=1 [34,36)\n"
       "    gre.flags.strict_source_route=0 [34,36)\n"
       "    gre.flags.recursion_control=0 [34,36)\n"
       "    gre.flags.ack=1 [34,36)\n"
       "    gre.flags.reserved_ppp=0 [34,36)\n"
       "    gre.flags.version=1 [34,36)\n"
       "  gre.proto=0x880b [36,38)\n"
       "  gre.key.payload_length=12 [38,40)\n"
       "  gre.key.call_id=5 [40,42)\n"
       "  gre.sequence_number=2 [42,46)\n"
       "  gre.ack_number=1 [46,50)\n"
       "ppp=Point-to-Point Protocol [50,54)\n"
       "  ppp.address=0xff [50,51)\n"
       "  ppp.control=0x03 [51,52)\n"
       "  ppp.protocol=0xc021 [52,54)\n"
       "lcp=PPP Link Control Protocol [54,62)\n"
       "  ppp.code=9 [54,55)\n"
       "  ppp.identifier=1 [55,56)\n"
       "  ppp.length=8 [56,58)\n"
       "  ppp.data=11223344 [58,62)\n",
       {14, 34, 50, 54},
       {"ipv4@34", "gre@50", "ppp@54"},
       "IPv4 GRE PPP ",
       {"Ethernet II/1", "IPv4/2", "GRE/2", "PPP/1"}},
      {"GreErspan",
       GreErspan(),
       // outline
       "Ethernet II [0,14)\n"
       "IPv4 [14,34)\n"
       "Generic Routing Encapsulation (ERSPAN) [34,42)\n",
       // layers
       "Generic Routing Encapsulation (ERSPAN) [34,42)\n"
       "  Flags and Version: 0x1000 [34,36)\n"
       "    0... .... .... .... = Checksum Bit: No [34,36)\n"
       "    .0.. .... .... .... = Routing Bit: No [34,36)\n"
       "    ..0. .... .... .... = Key Bit: No [34,36)\n"
       "    ...1 .... .... .... = Sequence Number Bit: Yes [34,36)\n"
       "    .... 0... .... .... = Strict Source Route Bit: No [34,36)\n"
       "    .... .000 .... .... = Recursion control: 0 [34,36)\n"
       "    .... .... 0000 0... = Flags (Reserved): 0 [34,36)\n"
       "    .... .... .... .000 = Version: GRE (0) [34,36)\n"
       "  Protocol Type: 0x88be - ERSPAN [36,38)\n"
       "  Sequence Number: 1 [38,42)\n"
       "  Data (50 bytes) [42,92)\n",
       // fields
       "gre=Generic Routing Encapsulation (ERSPAN) [34,42)\n"
       "  gre.flags_and_version=0x1000 [34,36)\n"
       "    gre.flags.checksum=0 [34,36)\n"
       "    gre.flags.routing=0 [34,36)\n"
       "    gre.flags.key=0 [34,36)\n"
       "    gre.flags.sequence_number=1 [34,36)\n"
       "    gre.flags.strict_source_route=0 [34,36)\n"
       "    gre.flags.recursion_control=0 [34,36)\n"
       "    gre.flags.reserved=0 [34,36)\n"
       "    gre.flags.version=0 [34,36)\n"
       "  gre.proto=0x88be [36,38)\n"
       "  gre.sequence_number=1 [38,42)\n"
       "  "
       "gre.payload="
       "1001006400000000020000000002020000000001080600000000000000000000000000000000000000000000000000000000 [42,92)\n",
       {14, 34, 42},
       {"ipv4@34", "gre@42"},
       "IPv4 GRE ",
       {"Ethernet II/1", "IPv4/2", "GRE/2"}},
      {"Vxlan",
       Vxlan(),
       // outline
       "Ethernet II [0,14)\n"
       "IPv4 [14,34)\n"
       "UDP [34,42)\n"
       "Virtual eXtensible Local Area Network [42,50)\n"
       "Ethernet II [50,64)\n"
       "IPv4 [64,84)\n"
       "ICMP [84,92)\n",
       // layers
       "Virtual eXtensible Local Area Network [42,50)\n"
       "  Flags: 0x0800, VXLAN Network ID (VNI) [42,44)\n"
       "    0... .... .... .... = GBP Extension: Not defined [42,44)\n"
       "    .... 1... .... .... = VXLAN Network ID (VNI): True [42,44)\n"
       "    .... .... .0.. .... = Don't Learn: False [42,44)\n"
       "    .... .... .... 0... = Policy Applied: False [42,44)\n"
       "    .000 .000 0.00 .000 = Reserved(R): 0x0000 [42,44)\n"
       "  Group Policy ID: 0 [44,46)\n"
       "  VXLAN Network Identifier (VNI): 100 [46,49)\n"
       "  Reserved: 0 [49,50)\n",
       // fields
       "vxlan=Virtual eXtensible Local Area Network [42,50)\n"
       "  vxlan.flags=0x0800 [42,44)\n"
       "    vxlan.flag_g=0 [42,44)\n"
       "    vxlan.flag_i=1 [42,44)\n"
       "    vxlan.flag_d=0 [42,44)\n"
       "    vxlan.flag_a=0 [42,44)\n"
       "    vxlan.flags_reserved=0x0000 [42,44)\n"
       "  vxlan.gbp=0 [44,46)\n"
       "  vxlan.vni=100 [46,49)\n"
       "  vxlan.reserved8=0 [49,50)\n",
       {14, 34, 42, 50, 64, 84},
       {"udp@42"},
       "IPv4 UDP VXLAN IPv4 ICMP ",
       {"Ethernet II/1", "IPv4/2", "UDP/3", "VXLAN/2", "Ethernet II/1", "IPv4/2", "ICMP/2"}},
  };
  return cases;
}

const Golden& GoldenNamed(std::string_view name) {
  for (const Golden& g : Goldens()) {
    if (g.name == name) return g;
  }
  throw std::invalid_argument("no such golden frame");
}

TEST(GreVxlan, GoldenTreesRowsAndCounters) {
  for (const Golden& g : Goldens()) {
    ExpectGolden(g);
  }
}

TEST(GreVxlan, RowsShowTheInnermostPacket) {
  struct Case {
    const char* name;
    const char* srcMac;
    const char* srcIp;
    const char* dstIp;
    const char* srcPort;
    const char* dstPort;
  };
  const Case cases[] = {
      {"GreChecksumKeySequence", "0:1b:21:3a:4f:1", "10.1.0.1", "10.1.0.2", "1234", "80"},
      // The bridged and the VXLAN frame's own MACs, and no outer UDP port.
      {"GreBridging", "2:0:0:0:0:1", "10.1.0.1", "10.1.0.2", "", ""},
      {"Vxlan", "2:0:0:0:0:1", "10.1.0.1", "10.1.0.2", "", ""},
      {"GreEnhancedPpp", "0:1b:21:3a:4f:1", "192.0.2.1", "192.0.2.2", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const SummaryDecode s = DecodeSummaryOf(GoldenNamed(c.name).frame, EnabledDecoders::All());
    EXPECT_EQ(s.row.SrcMacText(), c.srcMac);
    EXPECT_EQ(s.row.SrcIpText(), c.srcIp);
    EXPECT_EQ(s.row.DstIpText(), c.dstIp);
    EXPECT_EQ(s.row.SrcPortText(), c.srcPort);
    EXPECT_EQ(s.row.DstPortText(), c.dstPort);
  }
  // The conversation is the inner one.
  const SummaryDecode gre = DecodeSummaryOf(GreChecksumKeySequence(), EnabledDecoders::All());
  ASSERT_EQ(gre.sink.samples.size(), 1u);
  EXPECT_EQ(gre.sink.samples[0].source, (std::array<std::uint8_t, 4>{10, 1, 0, 1}));
  EXPECT_EQ(gre.sink.samples[0].destinationPort, 80);

  // An ARP frame inside VXLAN shows no address of the outer packet either.
  const Bytes arp = FrameBuilder()
                        .Ethernet(kDst, kSrc, 0x0800)
                        .Ipv4(kOuterSrc, kOuterDst, 17)
                        .Udp(45149, 4789)
                        .Raw(Hex("08 00 00 00 00 00 64 00"))
                        .Ethernet(framegen::kBroadcast, kInnerSrc, 0x0806)
                        .Arp(1, kInnerSrc, {10, 1, 0, 1}, {0, 0, 0, 0, 0, 0}, {10, 1, 0, 2})
                        .Build();
  const SummaryDecode a = DecodeSummaryOf(arp, EnabledDecoders::All());
  EXPECT_EQ(a.row.ProtocolsText(), "IPv4 UDP VXLAN ARP ");
  EXPECT_EQ(a.row.DstMacText(), "ff:ff:ff:ff:ff:ff");
  EXPECT_FALSE(a.row.hasSrcIp || a.row.hasDstIp || a.row.hasSrcPort || a.row.hasDstPort);
}

// ------------------------------------------------------------ GRE

TEST(Gre, WccpRedirectHeaderWhenTheAddressDoesNotStartThePayload) {
  const Bytes inner = FrameBuilder().Ipv4(kInnerSrcIp, kInnerDstIp, 6).Tcp(1291, 445, 1, 1, 0x18).Build();
  const Bytes with = OuterGre().Raw(Hex("00 00 88 3e 05 59 00 48")).Raw(inner).Build();
  const Bytes without = OuterGre().Raw(Hex("00 00 88 3e")).Raw(inner).Build();

  const TreeDecode w = DecodeTreeOf(with, nullptr, EnabledDecoders::All());
  EXPECT_EQ(
      Outline(w.tree),
      "Ethernet II [0,14)\nIPv4 [14,34)\nGeneric Routing Encapsulation (WCCP) [34,42)\nIPv4 [42,62)\nTCP [62,82)\n");
  EXPECT_EQ(FieldValue(w.tree, with, "gre.wccp.dynamic_service"), "1");
  EXPECT_EQ(FieldValue(w.tree, with, "gre.wccp.redirect_header_valid"), "1");
  EXPECT_EQ(FieldValue(w.tree, with, "gre.wccp.service_id"), "89");
  EXPECT_EQ(FieldValue(w.tree, with, "gre.wccp.primary_bucket"), "72");

  const TreeDecode o = DecodeTreeOf(without, nullptr, EnabledDecoders::All());
  EXPECT_EQ(
      Outline(o.tree),
      "Ethernet II [0,14)\nIPv4 [14,34)\nGeneric Routing Encapsulation (WCCP) [34,38)\nIPv4 [38,58)\nTCP [58,78)\n");
  EXPECT_EQ(FieldValue(o.tree, without, "gre.wccp.service_id"), "<absent>");
  for (const Bytes& frame : {with, without}) {
    EXPECT_EQ(DecodeSummaryOf(frame, EnabledDecoders::All()).row.ProtocolsText(), "IPv4 GRE IPv4 TCP ");
  }
}

TEST(Gre, SourceRoutesAreWalkedToTheNullEntry) {
  // Routing present (so is the checksum field): one IPv4 entry of 8 bytes,
  // then the null entry, then the payload.
  const Bytes frame = OuterGre()
                          .Raw(Hex("40 00 08 00 00 00 00 04 00 01 00 08 0a 00 00 01 0a 00 00 02 00 00 00 00"))
                          .Ipv4(kInnerSrcIp, kInnerDstIp, 17)
                          .Udp(1, 2)
                          .Build();
  const TreeDecode t = DecodeTreeOf(frame, nullptr, EnabledDecoders::All());
  EXPECT_NE(t.text.find("Generic Routing Encapsulation (IPv4) [34,58)\n"), std::string::npos) << t.text;
  EXPECT_NE(t.text.find("  Routing [42,58)\n"
                        "    Source Route Entry, family 1 [42,54)\n"
                        "      Address Family: 1 [42,44)\n"
                        "      SRE Offset: 0 [44,45)\n"
                        "      SRE Length: 8 [45,46)\n"
                        "      Routing Information (8 bytes) [46,54)\n"
                        "    Source Route Entry, family 0 [54,58)\n"),
            std::string::npos)
      << t.text;
  EXPECT_EQ(FieldValue(t.tree, frame, "gre.routing.information"), "0a0000010a000002");
  EXPECT_EQ(DecodeSummaryOf(frame, EnabledDecoders::All()).row.ProtocolsText(), "IPv4 GRE IPv4 UDP ");

  // Without the null entry the payload's start is unknown: nothing follows.
  const Bytes cut = OuterGre().Raw(Hex("40 00 08 00 00 00 00 04 00 01 00 08 0a 00 00 01 0a 00 00 02")).Build();
  const TreeDecode c = DecodeTreeOf(cut, nullptr, EnabledDecoders::All());
  EXPECT_EQ(c.tree.TopLevel().size(), 3u) << c.text;
  EXPECT_EQ(DecodeSummaryOf(cut, EnabledDecoders::All()).row.ProtocolsText(), "IPv4 GRE ");
}

TEST(Gre, PayloadsNotDecodedGoToTheScripts) {
  struct Case {
    const char* gre;
    EnabledDecoders decoders;
    const char* layer;
    std::vector<std::int32_t> starts;
    std::vector<std::string> offers;
    const char* chain;
  };
  const Case cases[] = {
      // An EtherType without a decoder.
      {"00 00 88 cc 01 02 03 04",
       EnabledDecoders::All(),
       "Generic Routing Encapsulation (0x88cc) [34,38)",
       {14, 34, 38, 38},
       {"ipv4@34", "gre@38"},
       "IPv4 GRE "},
      // A version with no known layout.
      {"00 02 08 00 45 00 00 14",
       EnabledDecoders::All(),
       "Generic Routing Encapsulation (IPv4) [34,38)",
       {14, 34, 38},
       {"ipv4@34", "gre@38"},
       "IPv4 GRE "},
      // PPP, which goes with the PPPoE decoder.
      {"30 01 88 0b 00 04 00 01 00 00 00 09 ff 03 c0 21",
       AllBut(OptionalDecoder::Pppoe),
       "Generic Routing Encapsulation (PPP) [34,46)",
       {14, 34, 46},
       {"ipv4@34", "gre@46"},
       "IPv4 GRE "},
      // ERSPAN type III.
      {"10 00 22 eb 00 00 00 01 de ad",
       EnabledDecoders::All(),
       "Generic Routing Encapsulation (ERSPAN type III) [34,42)",
       {14, 34, 42},
       {"ipv4@34", "gre@42"},
       "IPv4 GRE "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.gre);
    const Bytes frame = OuterGre().Raw(Hex(c.gre)).Build();
    RecordingScripts scripts;
    const TreeDecode t = DecodeTreeOf(frame, &scripts, c.decoders);
    EXPECT_NE(t.text.find(std::string(c.layer) + "\n"), std::string::npos) << t.text;
    EXPECT_EQ(t.layerStarts, c.starts);
    EXPECT_EQ(scripts.offers, c.offers);
    EXPECT_EQ(DecodeSummaryOf(frame, c.decoders).row.ProtocolsText(), c.chain);
  }
}

TEST(Gre, TagsInsideAreToldByTheProtocolType) {
  // The key's low bytes read 0x8100; the tag is still a service tag.
  const Bytes frame = OuterGre()
                          .Raw(Hex("20 00 88 a8 00 00 81 00"))
                          .Raw(Hex("00 c8 08 06"))
                          .Arp(1, kInnerSrc, {10, 1, 0, 1}, {0, 0, 0, 0, 0, 0}, {10, 1, 0, 2})
                          .Build();
  EXPECT_EQ(DecodeSummaryOf(frame, EnabledDecoders::All()).row.ProtocolsText(), "IPv4 GRE 802.1ad ARP ");
  EXPECT_EQ(DecodeSummaryOf(frame, AllBut(OptionalDecoder::Vlan)).row.ProtocolsText(), "IPv4 GRE ");
  const Bytes customer = OuterGre().Raw(Hex("00 00 81 00 00 05 08 06")).Zeros(28).Build();
  EXPECT_EQ(DecodeSummaryOf(customer, EnabledDecoders::All()).row.ProtocolsText(), "IPv4 GRE 802.1Q ARP ");
}

// ------------------------------------------------------------ all frames

std::vector<Bytes> EdgeFrames() {
  return {
      // Every optional field at once, cut inside the payload.
      OuterGre().Raw(Hex("b0 81 08 00 12 34 00 00 00 00 00 01 00 00 00 02 45 00")).Build(),
      OuterGre().Raw(Hex("30 81 88 0b 00 10 00 01 00 00 00 01 00 00 00 02 21 45 00 00")).Build(),
      OuterGre().Raw(Hex("40 00 08 00 00 00 00 00 00 01 00 ff 0a 00")).Build(),
      OuterGre().Raw(Hex("00 00 88 3e 05 59")).Build(),
      FrameBuilder()
          .Ethernet(kDst, kSrc, 0x0800)
          .Ipv4(kOuterSrc, kOuterDst, 17)
          .Udp(1, 4789)
          .Raw(Hex("08 00 00 00 00 00 64 00 02 00 00"))
          .Build(),
  };
}

TEST(GreVxlan, EveryPrefixOfEveryFrameStaysWithinItsBytes) {
  for (const Golden& g : Goldens()) {
    SCOPED_TRACE(g.name);
    ExpectEveryPrefixWithin(g.frame);
  }
  for (const Bytes& frame : EdgeFrames()) ExpectEveryPrefixWithin(frame);
}

TEST(GreVxlan, SwitchedOffTheClassicOutputReturns) {
  struct Case {
    const char* name;
    OptionalDecoder off;
    const char* classicChain;
  };
  const Case cases[] = {
      {"GreChecksumKeySequence", OptionalDecoder::Gre, "IPv4 "},
      {"GreBridging", OptionalDecoder::Gre, "IPv4 "},
      {"GreEnhancedPpp", OptionalDecoder::Gre, "IPv4 "},
      {"GreErspan", OptionalDecoder::Gre, "IPv4 "},
      {"Vxlan", OptionalDecoder::Vxlan, "IPv4 UDP "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes& frame = GoldenNamed(c.name).frame;
    for (const EnabledDecoders decoders : {AllBut(c.off), EnabledDecoders::Classic()}) {
      RecordingScripts offScripts;
      RecordingScripts classicScripts;
      const TreeDecode off = DecodeTreeOf(frame, &offScripts, decoders);
      const TreeDecode classic = DecodeTreeOf(frame, &classicScripts);
      EXPECT_EQ(off.text, classic.text);
      EXPECT_EQ(off.layerStarts, classic.layerStarts);
      EXPECT_EQ(offScripts.offers, classicScripts.offers);
      const SummaryDecode s = DecodeSummaryOf(frame, decoders);
      const SummaryDecode k = DecodeSummaryOf(frame);
      EXPECT_EQ(s.row.ProtocolsText(), c.classicChain);
      EXPECT_EQ(k.row.ProtocolsText(), c.classicChain);
      EXPECT_EQ(s.row.SrcMacText(), k.row.SrcMacText());
      EXPECT_EQ(s.row.SrcIpText(), k.row.SrcIpText());
      EXPECT_EQ(s.row.SrcPortText(), k.row.SrcPortText());
      EXPECT_EQ(s.sink.protocols, k.sink.protocols);
    }
  }
}

// ------------------------------------------------------------ real captures

struct CorpusCase {
  const char* file;
  std::size_t frame;  // from 1, as tshark counts
  const char* abbrev;
  const char* value;  // as tshark -T fields prints it; "" for a chain only
  const char* chain;
};

// Values read from these captures with tshark.
const CorpusCase kCorpusCases[] = {
    {"vxlan.pcap", 1, "vxlan.flags", "0x0800", "IPv4 UDP VXLAN IPv4 ICMP "},
    {"vxlan.pcap", 1, "vxlan.flag_i", "1", nullptr},
    {"vxlan.pcap", 1, "vxlan.vni", "100", nullptr},
    {"vxlan.pcap", 2, "vxlan.vni", "100", "IPv4 UDP VXLAN ARP "},
    {"pptp.pcap", 16, "gre.flags_and_version", "0x3001", "IPv4 GRE PPP "},
    {"pptp.pcap", 16, "gre.key.payload_length", "48", nullptr},
    {"pptp.pcap", 16, "gre.key.call_id", "0", nullptr},
    {"pptp.pcap", 16, "ppp.protocol", "0xc021", nullptr},
    {"pptp.pcap", 16, "ppp.code", "1", nullptr},
    {"pptp.pcap", 16, "ppp.length", "44", nullptr},
    {"wccp_redirect_gre.pcap", 1, "gre.proto", "0x883e", "IPv4 GRE IPv4 TCP "},
    {"wccp_redirect_gre.pcap", 1, "gre.wccp.service_id", "89", nullptr},
    {"wccp_redirect_gre.pcap", 1, "gre.wccp.primary_bucket", "72", nullptr},
    {"wccp_redirect_gre.pcap", 1, "gre.wccp.redirect_header_valid", "1", nullptr},
};

TEST(GreVxlan, RealCapturesMatchTshark) {
  for (const CorpusCase& c : kCorpusCases) {
    SCOPED_TRACE(std::string(c.file) + " frame " + std::to_string(c.frame) + " " + c.abbrev);
    const std::vector<Bytes> frames = SavefileFrames(CorpusFile(c.file));
    if (frames.empty()) GTEST_SKIP() << "no capture corpus";
    ASSERT_GE(frames.size(), c.frame);
    const Bytes& frame = frames[c.frame - 1];
    EXPECT_EQ(FieldValue(DecodeTreeOf(frame, nullptr, EnabledDecoders::All()).tree, frame, c.abbrev), c.value);
    if (c.chain != nullptr) {
      EXPECT_EQ(DecodeSummaryOf(frame, EnabledDecoders::All()).row.ProtocolsText(), c.chain);
    }
  }
  // The WCCP frame's row has the redirected packet's addresses and ports.
  const std::vector<Bytes> wccp = SavefileFrames(CorpusFile("wccp_redirect_gre.pcap"));
  ASSERT_EQ(wccp.size(), 1u);
  const SummaryDecode s = DecodeSummaryOf(wccp[0], EnabledDecoders::All());
  EXPECT_EQ(s.row.SrcIpText(), "10.254.127.195");
  EXPECT_EQ(s.row.DstIpText(), "10.254.108.228");
  EXPECT_EQ(s.row.DstPortText(), "445");
}

}  // namespace
}  // namespace qv
