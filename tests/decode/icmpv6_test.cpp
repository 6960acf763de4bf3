#include "decode/icmpv6.h"

#include <gtest/gtest.h>
#include <pcap/pcap.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "decode_helpers.h"

namespace qv {
namespace {

using namespace qv::testing;

constexpr std::uint32_t kIcmpv6 = 54;  // after Ethernet II and a 40-byte IPv6 header

constexpr std::string_view kHost1 = "fe80000000000000 0000000000000001";
constexpr std::string_view kHost2 = "fe80000000000000 0000000000000002";
constexpr std::string_view kAllNodes = "ff02000000000000 0000000000000001";
constexpr std::string_view kAllRouters = "ff02000000000000 0000000000000002";
constexpr std::string_view kSolicitedNode2 = "ff02000000000000 00000001ff000002";
constexpr std::string_view kDocHost1 = "20010db800000000 0000000000000001";
constexpr std::string_view kDocHost2 = "20010db800000000 0000000000000002";
constexpr std::string_view kDocRouter = "20010db800000000 00000000000000fe";

// An ICMPv6 message in IPv6 in Ethernet II; the capture ends with the
// message. The checksums in the messages below are right for their addresses.
Bytes Icmpv6Frame(std::string_view src, std::string_view dst, std::string_view message) {
  const Bytes body = Hex(message);
  Bytes frame = Hex("333300000001 020000000001 86dd 60000000");
  frame.push_back(static_cast<std::uint8_t>(body.size() >> 8));
  frame.push_back(static_cast<std::uint8_t>(body.size()));
  frame.push_back(58);
  frame.push_back(255);
  for (const Bytes& part : {Hex(src), Hex(dst), body}) frame.insert(frame.end(), part.begin(), part.end());
  return frame;
}

// The invoking packet of the error messages: IPv6 and UDP from
// 2001:db8::1 port 5000 to 2001:db8:ffff::9 port 53, with 8 bytes of data.
constexpr std::string_view kQuoted =
    "600000000010113f 20010db800000000 0000000000000001 20010db8ffff0000 0000000000000009"
    "138800350010abcd 3132333435363738";

Bytes ErrorFrame(std::string_view head) {
  return Icmpv6Frame(kDocRouter, kDocHost1, std::string(head) + std::string(kQuoted));
}

Bytes EchoRequest() { return Icmpv6Frame(kDocHost1, kDocHost2, "8000806f 1234 0007 6162636465666768"); }
Bytes PacketTooBig() { return ErrorFrame("02003ed9 00000500"); }
Bytes NeighborSolicitation() {
  return Icmpv6Frame(kHost1, kSolicitedNode2, "87007a97 00000000 fe800000000000000000000000000002 0101020000000001");
}
Bytes NeighborAdvertisement() {
  return Icmpv6Frame(kHost2, kHost1, "88009819 e0000000 fe800000000000000000000000000002 0201020000000002");
}
Bytes RouterAdvertisement() {
  return Icmpv6Frame(kHost1, kAllNodes,
                     "86003a99 40 88 0708 00007530 000003e8"
                     "0101 020000000001"   // source link-layer address
                     "0501 0000 000005dc"  // MTU
                     "0304 40 c0 00015180 00003840 00000000 20010db8000100000000000000000000"  // prefix
                     "1905 0000 00000258 20010db8000000000000000000000053 20010db8000000000000000000000054");
}
Bytes Redirect() {
  return Icmpv6Frame(kHost1, kHost2,
                     "8900b8a1 00000000 fe800000000000000000000000000003 20010db8ffff00000000000000000009"
                     "0201 020000000002"
                     "0407 000000000000"
                     "600000000010113f 20010db800000000 0000000000000001 20010db8ffff0000 0000000000000009"
                     "138800350010abcd");
}
Bytes ListenerQueryV2() {
  return Icmpv6Frame(kHost1, kAllNodes,
                     "8200170b 03e8 0000 ff050000000000000000000000010003 0a 7d 0002"
                     "20010db80000000000000000000000 0a 20010db80000000000000000000000 0b");
}
Bytes ListenerReportV2() {
  return Icmpv6Frame(kHost1, "ff02000000000000 0000000000000016",
                     "8f006d0d 0000 0002"
                     "01 01 0002 ff050000000000000000000000010003"
                     "20010db800000000000000000000000a 20010db800000000000000000000000b 41555821"
                     "04 00 0000 ff02000000000000000000000db80001");
}
// A neighbour solicitation whose first option claims a length of 0.
Bytes ZeroLengthOption() {
  return Icmpv6Frame(kHost1, kSolicitedNode2,
                     "8700778e 00000000 fe800000000000000000000000000002 0100 020000000001 0101020000000001");
}

struct Decoded {
  TreeDecode tree;
  RecordingScripts scripts;
  std::uint32_t flagsAfter = 0;
};

// The ICMPv6 decoder alone, on the message at `at` of a whole frame, so the
// ranges are those of the frame; the quoted packet of an error goes to the
// IPv6 decoder.
Decoded DecodeAt(std::span<const std::uint8_t> frame, std::uint32_t at = kIcmpv6, std::uint32_t flags = 0) {
  Decoded out;
  PacketDecoder d(frame, {kLinkTypeEthernet, nullptr, &out.scripts, EnabledDecoders::All()}, &out.tree.tree,
                  DecodeMode::Tree, &out.tree.layerStarts, nullptr);
  d.flags = flags;
  d.Dispatch(DecodeIcmpv6, at);
  out.tree.text = out.tree.tree.ToText();
  out.flagsAfter = d.flags;
  return out;
}

SummaryDecode SummaryAt(std::span<const std::uint8_t> frame, std::uint32_t at = kIcmpv6) {
  SummaryDecode out;
  PacketDecoder d(frame, {kLinkTypeEthernet, &out.sink, nullptr, EnabledDecoders::All()}, nullptr, DecodeMode::Summary,
                  nullptr, &out.row);
  d.Dispatch(DecodeIcmpv6, at);
  return out;
}

// The first top-level line of a tree text and everything below it.
std::string FirstLayer(const std::string& text) {
  std::size_t end = text.find('\n');
  while (end != std::string::npos && end + 1 < text.size() && text[end + 1] == ' ') end = text.find('\n', end + 1);
  return end == std::string::npos ? text : text.substr(0, end + 1);
}

std::vector<std::string> TopLevelTexts(const DecodeTree& tree) {
  std::vector<std::string> out;
  for (NodeId id : tree.TopLevel()) out.push_back(tree[id].text);
  return out;
}

TEST(Icmpv6, EchoRequestIdentifierSequenceAndData) {
  const Bytes frame = EchoRequest();
  const Decoded r = DecodeAt(frame);
  EXPECT_EQ(r.tree.text,
            "ICMPv6 [54,70)\n"
            "  Type: 128 (Echo Request) [54,55)\n"
            "  Code: 0 [55,56)\n"
            "  Checksum: 0x806f [56,58)\n"
            "  Identifier: 0x1234 [58,60)\n"
            "  Sequence number: 7 [60,62)\n"
            "  Data (8 bytes) [62,70)\n");
  EXPECT_EQ(FieldsText(r.tree.tree, frame),
            "icmpv6=ICMPv6 [54,70)\n"
            "  icmpv6.type=128 [54,55)\n"
            "  icmpv6.code=0 [55,56)\n"
            "  icmpv6.checksum=0x806f [56,58)\n"
            "  icmpv6.echo.identifier=0x1234 [58,60)\n"
            "  icmpv6.echo.sequence_number=7 [60,62)\n"
            "  icmpv6.data=6162636465666768 [62,70)\n");
  EXPECT_EQ(r.tree.layerStarts, (std::vector<std::int32_t>{54}));
  EXPECT_TRUE(r.scripts.offers.empty());

  // A reply without data has no data line.
  const Decoded reply = DecodeAt(Icmpv6Frame(kDocHost2, kDocHost1, "8100110d 1234 0007"));
  EXPECT_EQ(reply.tree.text,
            "ICMPv6 [54,62)\n"
            "  Type: 129 (Echo Reply) [54,55)\n"
            "  Code: 0 [55,56)\n"
            "  Checksum: 0x110d [56,58)\n"
            "  Identifier: 0x1234 [58,60)\n"
            "  Sequence number: 7 [60,62)\n");
}

TEST(Icmpv6, PacketTooBigShowsTheMtuAndHandsTheQuotedPacketToIpv6) {
  const Bytes frame = PacketTooBig();
  const Decoded r = DecodeAt(frame);
  EXPECT_EQ(FirstLayer(r.tree.text),
            "ICMPv6 [54,62)\n"
            "  Type: 2 (Packet Too Big) [54,55)\n"
            "  Code: 0 [55,56)\n"
            "  Checksum: 0x3ed9 [56,58)\n"
            "  MTU: 1280 [58,62)\n");
  EXPECT_EQ(FirstLayer(FieldsText(r.tree.tree, frame)),
            "icmpv6=ICMPv6 [54,62)\n"
            "  icmpv6.type=2 [54,55)\n"
            "  icmpv6.code=0 [55,56)\n"
            "  icmpv6.checksum=0x3ed9 [56,58)\n"
            "  icmpv6.mtu=1280 [58,62)\n");
  // The quoted packet is the next layer, an IPv6 one, starting after the
  // eight bytes of the error; the flag is put back afterwards.
  const std::vector<std::string> top = TopLevelTexts(r.tree.tree);
  ASSERT_GE(top.size(), 2u);
  EXPECT_TRUE(top[1].starts_with("IPv6")) << top[1];
  ASSERT_GE(r.tree.layerStarts.size(), 2u);
  EXPECT_EQ(r.tree.layerStarts[0], 54);
  EXPECT_EQ(r.tree.layerStarts[1], 62);
  EXPECT_EQ(r.flagsAfter, 0u);
  EXPECT_EQ(DecodeAt(frame, kIcmpv6, QuotedDatagram).flagsAfter, QuotedDatagram);
}

TEST(Icmpv6, ErrorMessagesNameTheirCodesAndTheirFourthField) {
  struct Case {
    const char* head;
    const char* text;
    const char* fields;
  };
  const Case cases[] = {
      {"010444d5 00000000",
       "ICMPv6 [54,62)\n"
       "  Type: 1 (Destination Unreachable) [54,55)\n"
       "  Code: 4 (Port unreachable) [55,56)\n"
       "  Checksum: 0x44d5 [56,58)\n"
       "  Unused [58,62)\n",
       "icmpv6.reserved=00000000 [58,62)"},
      {"030042d9 00000000",
       "ICMPv6 [54,62)\n"
       "  Type: 3 (Time Exceeded) [54,55)\n"
       "  Code: 0 (Hop limit exceeded in transit) [55,56)\n"
       "  Checksum: 0x42d9 [56,58)\n"
       "  Unused [58,62)\n",
       "icmpv6.reserved=00000000 [58,62)"},
      {"040141b0 00000028",
       "ICMPv6 [54,62)\n"
       "  Type: 4 (Parameter Problem) [54,55)\n"
       "  Code: 1 (Unrecognized Next Header type encountered) [55,56)\n"
       "  Checksum: 0x41b0 [56,58)\n"
       "  Pointer: 40 [58,62)\n",
       "icmpv6.pointer=40 [58,62)"},
  };
  for (const Case& c : cases) {
    const Bytes frame = ErrorFrame(c.head);
    const Decoded r = DecodeAt(frame);
    EXPECT_EQ(FirstLayer(r.tree.text), c.text);
    EXPECT_NE(FieldsText(r.tree.tree, frame).find(std::string("\n  ") + c.fields + "\n"), std::string::npos);
    ASSERT_GE(r.tree.layerStarts.size(), 2u);
    EXPECT_EQ(r.tree.layerStarts[1], 62);
  }

  struct CodeCase {
    std::uint8_t type;
    std::uint8_t code;
    const char* line;
  };
  const CodeCase codes[] = {
      {1, 0, "Code: 0 (No route to destination)"},
      {1, 1, "Code: 1 (Communication with destination administratively prohibited)"},
      {1, 3, "Code: 3 (Address unreachable)"},
      {1, 6, "Code: 6 (Reject route to destination)"},
      {1, 8, "Code: 8"},
      {3, 1, "Code: 1 (Fragment reassembly time exceeded)"},
      {3, 2, "Code: 2"},
      {4, 0, "Code: 0 (Erroneous header field encountered)"},
      {4, 2, "Code: 2 (Unrecognized IPv6 option encountered)"},
      {4, 3, "Code: 3 (IPv6 first fragment has incomplete IPv6 header chain)"},
      {2, 1, "Code: 1"},
      {128, 4, "Code: 4"},  // codes of the other types have no names
  };
  for (const CodeCase& c : codes) {
    Bytes frame = ErrorFrame("00000000 00000000");
    frame[kIcmpv6] = c.type;
    frame[kIcmpv6 + 1] = c.code;
    const std::string text = DecodeAt(frame).tree.text;
    EXPECT_NE(text.find("\n  " + std::string(c.line) + " [55,56)\n"), std::string::npos) << text;
  }
}

TEST(Icmpv6, ErrorWithoutAQuotedPacketEndsWithItsHeader) {
  const Bytes frame = Icmpv6Frame(kDocRouter, kDocHost1, "02000000 000005dc");
  const Decoded r = DecodeAt(frame);
  EXPECT_EQ(r.tree.text,
            "ICMPv6 [54,62)\n"
            "  Type: 2 (Packet Too Big) [54,55)\n"
            "  Code: 0 [55,56)\n"
            "  Checksum: 0x0000 [56,58)\n"
            "  MTU: 1500 [58,62)\n");
  EXPECT_EQ(r.tree.layerStarts, (std::vector<std::int32_t>{54}));
}

TEST(Icmpv6, NeighborSolicitationAndAdvertisementWithLinkLayerOptions) {
  const Bytes ns = NeighborSolicitation();
  const Decoded s = DecodeAt(ns);
  EXPECT_EQ(s.tree.text,
            "ICMPv6 [54,86)\n"
            "  Type: 135 (Neighbor Solicitation) [54,55)\n"
            "  Code: 0 [55,56)\n"
            "  Checksum: 0x7a97 [56,58)\n"
            "  Reserved [58,62)\n"
            "  Target address: fe80::2 [62,78)\n"
            "  Option: Source Link-Layer Address (02:00:00:00:00:01) [78,86)\n"
            "    Type: 1 (Source Link-Layer Address) [78,79)\n"
            "    Length: 1 (8 bytes) [79,80)\n"
            "    Link-layer address: 02:00:00:00:00:01 [80,86)\n");
  EXPECT_EQ(FieldsText(s.tree.tree, ns),
            "icmpv6=ICMPv6 [54,86)\n"
            "  icmpv6.type=135 [54,55)\n"
            "  icmpv6.code=0 [55,56)\n"
            "  icmpv6.checksum=0x7a97 [56,58)\n"
            "  icmpv6.reserved=00000000 [58,62)\n"
            "  icmpv6.nd.ns.target_address=fe80::2 [62,78)\n"
            "  icmpv6.opt= [78,86)\n"
            "    icmpv6.opt.type=1 [78,79)\n"
            "    icmpv6.opt.length=1 [79,80)\n"
            "    icmpv6.opt.src_linkaddr=02:00:00:00:00:01 [80,86)\n");
  EXPECT_EQ(s.tree.layerStarts, (std::vector<std::int32_t>{54}));

  const Bytes na = NeighborAdvertisement();
  const Decoded a = DecodeAt(na);
  EXPECT_EQ(a.tree.text,
            "ICMPv6 [54,86)\n"
            "  Type: 136 (Neighbor Advertisement) [54,55)\n"
            "  Code: 0 [55,56)\n"
            "  Checksum: 0x9819 [56,58)\n"
            "  Flags: 0xe0000000 [58,62)\n"
            "    1... .... .... .... .... .... .... .... = Router: Set [58,62)\n"
            "    .1.. .... .... .... .... .... .... .... = Solicited: Set [58,62)\n"
            "    ..1. .... .... .... .... .... .... .... = Override: Set [58,62)\n"
            "    ...0 0000 0000 0000 0000 0000 0000 0000 = Reserved: 0 [58,62)\n"
            "  Target address: fe80::2 [62,78)\n"
            "  Option: Target Link-Layer Address (02:00:00:00:00:02) [78,86)\n"
            "    Type: 2 (Target Link-Layer Address) [78,79)\n"
            "    Length: 1 (8 bytes) [79,80)\n"
            "    Link-layer address: 02:00:00:00:00:02 [80,86)\n");
  EXPECT_EQ(FieldsText(a.tree.tree, na),
            "icmpv6=ICMPv6 [54,86)\n"
            "  icmpv6.type=136 [54,55)\n"
            "  icmpv6.code=0 [55,56)\n"
            "  icmpv6.checksum=0x9819 [56,58)\n"
            "  icmpv6.nd.na.flag=0xe0000000 [58,62)\n"
            "    icmpv6.nd.na.flag.r=1 [58,62)\n"
            "    icmpv6.nd.na.flag.s=1 [58,62)\n"
            "    icmpv6.nd.na.flag.o=1 [58,62)\n"
            "    icmpv6.nd.na.flag.rsv=0 [58,62)\n"
            "  icmpv6.nd.na.target_address=fe80::2 [62,78)\n"
            "  icmpv6.opt= [78,86)\n"
            "    icmpv6.opt.type=2 [78,79)\n"
            "    icmpv6.opt.length=1 [79,80)\n"
            "    icmpv6.opt.target_linkaddr=02:00:00:00:00:02 [80,86)\n");

  // Only the solicited flag: the others read 0.
  Bytes solicited = na;
  solicited[kIcmpv6 + 4] = 0x40;
  const Decoded only = DecodeAt(solicited);
  EXPECT_EQ(FieldValues(only.tree.tree, solicited, "icmpv6.nd.na.flag"), "0x40000000");
  std::string flags;
  for (const char* f : {"icmpv6.nd.na.flag.r", "icmpv6.nd.na.flag.s", "icmpv6.nd.na.flag.o"}) {
    flags += FieldValues(only.tree.tree, solicited, f);
  }
  EXPECT_EQ(flags, "010");
}

TEST(Icmpv6, RouterSolicitationWithOtherLinkLayerAndUnknownOptions) {
  // A 14-byte link-layer address (not Ethernet) and an option of type 99.
  const Bytes frame =
      Icmpv6Frame(kHost1, kAllRouters, "8500e5dd 00000000 0102 000102030405060708090a0b0c0d 6301 010203040506");
  const Decoded r = DecodeAt(frame);
  EXPECT_EQ(r.tree.text,
            "ICMPv6 [54,86)\n"
            "  Type: 133 (Router Solicitation) [54,55)\n"
            "  Code: 0 [55,56)\n"
            "  Checksum: 0xe5dd [56,58)\n"
            "  Reserved [58,62)\n"
            "  Option: Source Link-Layer Address [62,78)\n"
            "    Type: 1 (Source Link-Layer Address) [62,63)\n"
            "    Length: 2 (16 bytes) [63,64)\n"
            "    Link-layer address: 00:01:02:03:04:05:06:07:08:09:0a:0b:0c:0d [64,78)\n"
            "  Option: Unknown [78,86)\n"
            "    Type: 99 (Unknown) [78,79)\n"
            "    Length: 1 (8 bytes) [79,80)\n"
            "    Data (6 bytes) [80,86)\n");
  // As tshark shows them: the address as bytes, the unknown option's as data.
  EXPECT_EQ(FieldValues(r.tree.tree, frame, "icmpv6.opt.linkaddr"), "000102030405060708090a0b0c0d");
  EXPECT_EQ(FieldValues(r.tree.tree, frame, "icmpv6.opt.src_linkaddr"), "");
  EXPECT_EQ(FieldValues(r.tree.tree, frame, "icmpv6.data"), "010203040506");
}

TEST(Icmpv6, RouterAdvertisementWithPrefixMtuAndDnsServers) {
  const Bytes frame = RouterAdvertisement();
  const Decoded r = DecodeAt(frame);
  EXPECT_EQ(r.tree.text,
            "ICMPv6 [54,158)\n"
            "  Type: 134 (Router Advertisement) [54,55)\n"
            "  Code: 0 [55,56)\n"
            "  Checksum: 0x3a99 [56,58)\n"
            "  Cur hop limit: 64 [58,59)\n"
            "  Flags: 0x88 [59,60)\n"
            "    1... .... = Managed address configuration: Set [59,60)\n"
            "    .0.. .... = Other configuration: Not set [59,60)\n"
            "    ..0. .... = Home agent: Not set [59,60)\n"
            "    ...0 1... = Default router preference: High (1) [59,60)\n"
            "    .... .0.. = Proxy: Not set [59,60)\n"
            "    .... ..00 = Reserved: 0 [59,60)\n"
            "  Router lifetime: 1800 s [60,62)\n"
            "  Reachable time: 30000 ms [62,66)\n"
            "  Retrans timer: 1000 ms [66,70)\n"
            "  Option: Source Link-Layer Address (02:00:00:00:00:01) [70,78)\n"
            "    Type: 1 (Source Link-Layer Address) [70,71)\n"
            "    Length: 1 (8 bytes) [71,72)\n"
            "    Link-layer address: 02:00:00:00:00:01 [72,78)\n"
            "  Option: MTU (1500) [78,86)\n"
            "    Type: 5 (MTU) [78,79)\n"
            "    Length: 1 (8 bytes) [79,80)\n"
            "    Reserved [80,82)\n"
            "    MTU: 1500 [82,86)\n"
            "  Option: Prefix Information (2001:db8:1::/64) [86,118)\n"
            "    Type: 3 (Prefix Information) [86,87)\n"
            "    Length: 4 (32 bytes) [87,88)\n"
            "    Prefix length: 64 [88,89)\n"
            "    Flags: 0xc0 [89,90)\n"
            "      1... .... = On-link flag (L): Set [89,90)\n"
            "      .1.. .... = Autonomous address-configuration flag (A): Set [89,90)\n"
            "      ..0. .... = Router address flag (R): Not set [89,90)\n"
            "      ...0 0000 = Reserved: 0 [89,90)\n"
            "    Valid lifetime: 86400 s [90,94)\n"
            "    Preferred lifetime: 14400 s [94,98)\n"
            "    Reserved [98,102)\n"
            "    Prefix: 2001:db8:1:: [102,118)\n"
            "  Option: Recursive DNS Server [118,158)\n"
            "    Type: 25 (Recursive DNS Server) [118,119)\n"
            "    Length: 5 (40 bytes) [119,120)\n"
            "    Reserved [120,122)\n"
            "    Lifetime: 600 s [122,126)\n"
            "    Recursive DNS server: 2001:db8::53 [126,142)\n"
            "    Recursive DNS server: 2001:db8::54 [142,158)\n");
  EXPECT_EQ(FieldsText(r.tree.tree, frame),
            "icmpv6=ICMPv6 [54,158)\n"
            "  icmpv6.type=134 [54,55)\n"
            "  icmpv6.code=0 [55,56)\n"
            "  icmpv6.checksum=0x3a99 [56,58)\n"
            "  icmpv6.nd.ra.cur_hop_limit=64 [58,59)\n"
            "  icmpv6.nd.ra.flag=0x88 [59,60)\n"
            "    icmpv6.nd.ra.flag.m=1 [59,60)\n"
            "    icmpv6.nd.ra.flag.o=0 [59,60)\n"
            "    icmpv6.nd.ra.flag.h=0 [59,60)\n"
            "    icmpv6.nd.ra.flag.prf=1 [59,60)\n"
            "    icmpv6.nd.ra.flag.p=0 [59,60)\n"
            "    icmpv6.nd.ra.flag.rsv=0 [59,60)\n"
            "  icmpv6.nd.ra.router_lifetime=1800 [60,62)\n"
            "  icmpv6.nd.ra.reachable_time=30000 [62,66)\n"
            "  icmpv6.nd.ra.retrans_timer=1000 [66,70)\n"
            "  icmpv6.opt= [70,78)\n"
            "    icmpv6.opt.type=1 [70,71)\n"
            "    icmpv6.opt.length=1 [71,72)\n"
            "    icmpv6.opt.src_linkaddr=02:00:00:00:00:01 [72,78)\n"
            "  icmpv6.opt= [78,86)\n"
            "    icmpv6.opt.type=5 [78,79)\n"
            "    icmpv6.opt.length=1 [79,80)\n"
            "    icmpv6.opt.reserved= [80,82)\n"
            "    icmpv6.opt.mtu=1500 [82,86)\n"
            "  icmpv6.opt= [86,118)\n"
            "    icmpv6.opt.type=3 [86,87)\n"
            "    icmpv6.opt.length=4 [87,88)\n"
            "    icmpv6.opt.prefix.length=64 [88,89)\n"
            "    icmpv6.opt.prefix.flag=0xc0 [89,90)\n"
            "      icmpv6.opt.prefix.flag.l=1 [89,90)\n"
            "      icmpv6.opt.prefix.flag.a=1 [89,90)\n"
            "      icmpv6.opt.prefix.flag.r=0 [89,90)\n"
            "      icmpv6.opt.prefix.flag.reserved=0 [89,90)\n"
            "    icmpv6.opt.prefix.valid_lifetime=86400 [90,94)\n"
            "    icmpv6.opt.prefix.preferred_lifetime=14400 [94,98)\n"
            "    icmpv6.opt.reserved= [98,102)\n"
            "    icmpv6.opt.prefix=2001:db8:1:: [102,118)\n"
            "  icmpv6.opt= [118,158)\n"
            "    icmpv6.opt.type=25 [118,119)\n"
            "    icmpv6.opt.length=5 [119,120)\n"
            "    icmpv6.opt.reserved= [120,122)\n"
            "    icmpv6.opt.rdnss.lifetime=600 [122,126)\n"
            "    icmpv6.opt.rdnss=2001:db8::53 [126,142)\n"
            "    icmpv6.opt.rdnss=2001:db8::54 [142,158)\n");
  EXPECT_EQ(r.tree.layerStarts, (std::vector<std::int32_t>{54}));
}

TEST(Icmpv6, LifetimesOfAllOnesAreInfinite) {
  Bytes frame = RouterAdvertisement();
  for (std::uint32_t at : {90u, 94u, 122u}) {
    for (std::uint32_t i = 0; i < 4; ++i) frame[at + i] = 0xff;
  }
  const std::string text = DecodeAt(frame).tree.text;
  EXPECT_NE(text.find("    Valid lifetime: infinity [90,94)\n"), std::string::npos) << text;
  EXPECT_NE(text.find("    Preferred lifetime: infinity [94,98)\n"), std::string::npos) << text;
  EXPECT_NE(text.find("    Lifetime: infinity [122,126)\n"), std::string::npos) << text;
}

TEST(Icmpv6, DefaultRouterPreferenceNames) {
  const char* const names[] = {"Medium (0)", "High (1)", "Reserved (2)", "Low (3)"};
  for (std::uint8_t prf = 0; prf < 4; ++prf) {
    Bytes frame = RouterAdvertisement();
    frame[kIcmpv6 + 5] = static_cast<std::uint8_t>(prf << 3);
    const std::string text = DecodeAt(frame).tree.text;
    EXPECT_NE(text.find(" = Default router preference: " + std::string(names[prf]) + " [59,60)\n"), std::string::npos)
        << text;
  }
}

TEST(Icmpv6, OptionFieldsStayInsideTheirOption) {
  // A prefix option of one unit, followed by an MTU option: its prefix
  // fields would lie in the next option and are not shown.
  const Bytes frame = Icmpv6Frame(kHost1, kAllNodes,
                                  "86000000 40 00 0708 00000000 00000000"
                                  "0301 40c0 00015180"
                                  "0501 0000 000005dc");
  const Decoded r = DecodeAt(frame);
  EXPECT_EQ(r.tree.text.substr(r.tree.text.find("  Option:")),
            "  Option: Prefix Information [70,78)\n"
            "    Type: 3 (Prefix Information) [70,71)\n"
            "    Length: 1 (8 bytes) [71,72)\n"
            "    Prefix length: 64 [72,73)\n"
            "    Flags: 0xc0 [73,74)\n"
            "      1... .... = On-link flag (L): Set [73,74)\n"
            "      .1.. .... = Autonomous address-configuration flag (A): Set [73,74)\n"
            "      ..0. .... = Router address flag (R): Not set [73,74)\n"
            "      ...0 0000 = Reserved: 0 [73,74)\n"
            "    Valid lifetime: 86400 s [74,78)\n"
            "  Option: MTU (1500) [78,86)\n"
            "    Type: 5 (MTU) [78,79)\n"
            "    Length: 1 (8 bytes) [79,80)\n"
            "    Reserved [80,82)\n"
            "    MTU: 1500 [82,86)\n");
}

TEST(Icmpv6, RedirectWithTargetDestinationAndTheRedirectedPacket) {
  const Bytes frame = Redirect();
  const Decoded r = DecodeAt(frame);
  EXPECT_EQ(FirstLayer(r.tree.text),
            "ICMPv6 [54,158)\n"
            "  Type: 137 (Redirect) [54,55)\n"
            "  Code: 0 [55,56)\n"
            "  Checksum: 0xb8a1 [56,58)\n"
            "  Reserved [58,62)\n"
            "  Target address: fe80::3 [62,78)\n"
            "  Destination address: 2001:db8:ffff::9 [78,94)\n"
            "  Option: Target Link-Layer Address (02:00:00:00:00:02) [94,102)\n"
            "    Type: 2 (Target Link-Layer Address) [94,95)\n"
            "    Length: 1 (8 bytes) [95,96)\n"
            "    Link-layer address: 02:00:00:00:00:02 [96,102)\n"
            "  Option: Redirected Header [102,158)\n"
            "    Type: 4 (Redirected Header) [102,103)\n"
            "    Length: 7 (56 bytes) [103,104)\n"
            "    Reserved [104,110)\n"
            "    Redirected packet (48 bytes) [110,158)\n");
  EXPECT_EQ(FirstLayer(FieldsText(r.tree.tree, frame)),
            "icmpv6=ICMPv6 [54,158)\n"
            "  icmpv6.type=137 [54,55)\n"
            "  icmpv6.code=0 [55,56)\n"
            "  icmpv6.checksum=0xb8a1 [56,58)\n"
            "  icmpv6.reserved=00000000 [58,62)\n"
            "  icmpv6.nd.rd.target_address=fe80::3 [62,78)\n"
            "  icmpv6.rd.na.destination_address=2001:db8:ffff::9 [78,94)\n"
            "  icmpv6.opt= [94,102)\n"
            "    icmpv6.opt.type=2 [94,95)\n"
            "    icmpv6.opt.length=1 [95,96)\n"
            "    icmpv6.opt.target_linkaddr=02:00:00:00:00:02 [96,102)\n"
            "  icmpv6.opt= [102,158)\n"
            "    icmpv6.opt.type=4 [102,103)\n"
            "    icmpv6.opt.length=7 [103,104)\n"
            "    icmpv6.opt.reserved= [104,110)\n"
            "    icmpv6.opt.redirected_packet= [110,158)\n");
  // The redirected packet, the last option, is decoded as a quoted datagram.
  const std::vector<std::string> top = TopLevelTexts(r.tree.tree);
  ASSERT_GE(top.size(), 2u);
  EXPECT_TRUE(top[1].starts_with("IPv6")) << top[1];
  ASSERT_GE(r.tree.layerStarts.size(), 2u);
  EXPECT_EQ(r.tree.layerStarts[1], 110);
  EXPECT_EQ(r.flagsAfter, 0u);

  // Followed by another option, it is left as bytes.
  Bytes followed = frame;
  const Bytes mtu = Hex("0501 0000 000005dc");
  followed.insert(followed.end(), mtu.begin(), mtu.end());
  const Decoded f = DecodeAt(followed);
  EXPECT_EQ(TopLevelTexts(f.tree.tree).size(), 1u);
  EXPECT_EQ(f.tree.layerStarts, (std::vector<std::int32_t>{54}));
}

TEST(Icmpv6, ListenerMessagesOfVersion1) {
  struct Case {
    std::string_view dst;
    const char* message;
    const char* text;
  };
  const Case cases[] = {
      {kAllNodes, "82005917 2710 0000 00000000000000000000000000000000",
       "ICMPv6 [54,78)\n"
       "  Type: 130 (Multicast Listener Query) [54,55)\n"
       "  Code: 0 [55,56)\n"
       "  Checksum: 0x5917 [56,58)\n"
       "  Maximum response delay: 10000 ms [58,60)\n"
       "  Reserved [60,62)\n"
       "  Multicast address: :: [62,78)\n"},
      {"ff02000000000000 0000000000010003", "8300801d 0000 0000 ff020000000000000000000000010003",
       "ICMPv6 [54,78)\n"
       "  Type: 131 (Multicast Listener Report) [54,55)\n"
       "  Code: 0 [55,56)\n"
       "  Checksum: 0x801d [56,58)\n"
       "  Maximum response delay: 0 ms [58,60)\n"
       "  Reserved [60,62)\n"
       "  Multicast address: ff02::1:3 [62,78)\n"},
      {kAllRouters, "84007f1f 0000 0000 ff020000000000000000000000010003",
       "ICMPv6 [54,78)\n"
       "  Type: 132 (Multicast Listener Done) [54,55)\n"
       "  Code: 0 [55,56)\n"
       "  Checksum: 0x7f1f [56,58)\n"
       "  Maximum response delay: 0 ms [58,60)\n"
       "  Reserved [60,62)\n"
       "  Multicast address: ff02::1:3 [62,78)\n"},
  };
  for (const Case& c : cases) {
    const Bytes frame = Icmpv6Frame(kHost1, c.dst, c.message);
    const Decoded r = DecodeAt(frame);
    EXPECT_EQ(r.tree.text, c.text);
    EXPECT_EQ(r.tree.layerStarts, (std::vector<std::int32_t>{54}));
  }
  const Bytes report = Icmpv6Frame(kHost1, kAllNodes, cases[1].message);
  EXPECT_EQ(FieldsText(DecodeAt(report).tree.tree, report),
            "icmpv6=ICMPv6 [54,78)\n"
            "  icmpv6.type=131 [54,55)\n"
            "  icmpv6.code=0 [55,56)\n"
            "  icmpv6.checksum=0x801d [56,58)\n"
            "  icmpv6.mld.maximum_response_delay=0 [58,60)\n"
            "  icmpv6.reserved=0000 [60,62)\n"
            "  icmpv6.mld.multicast_address=ff02::1:3 [62,78)\n");
}

TEST(Icmpv6, BytesAfterAListenerMessageGoToTheScriptsThenUnsupported) {
  const Bytes frame = Icmpv6Frame(kHost1, kAllNodes, "8300801d 0000 0000 ff020000000000000000000000010003 0102");
  const Decoded r = DecodeAt(frame);
  EXPECT_TRUE(r.tree.text.starts_with("ICMPv6 [54,78)\n")) << r.tree.text;
  EXPECT_EQ(r.scripts.offers, (std::vector<std::string>{"icmpv6@78"}));
  EXPECT_EQ(r.tree.layerStarts, (std::vector<std::int32_t>{54, 78}));
}

TEST(Icmpv6, ListenerQueryOfVersion2WithSources) {
  const Bytes frame = ListenerQueryV2();
  const Decoded r = DecodeAt(frame);
  EXPECT_EQ(r.tree.text,
            "ICMPv6 [54,114)\n"
            "  Type: 130 (Multicast Listener Query) [54,55)\n"
            "  Code: 0 [55,56)\n"
            "  Checksum: 0x170b [56,58)\n"
            "  Maximum response code: 1000 (1000 ms) [58,60)\n"
            "  Reserved [60,62)\n"
            "  Multicast address: ff05::1:3 [62,78)\n"
            "  Flags: 0x0a [78,79)\n"
            "    0000 .... = Reserved: 0 [78,79)\n"
            "    .... 1... = Suppress router-side processing (S): Set [78,79)\n"
            "    .... .010 = Querier's robustness variable (QRV): 2 [78,79)\n"
            "  Querier's query interval code (QQIC): 125 (125 s) [79,80)\n"
            "  Number of sources: 2 [80,82)\n"
            "  Source address: 2001:db8::a [82,98)\n"
            "  Source address: 2001:db8::b [98,114)\n");
  EXPECT_EQ(FieldsText(r.tree.tree, frame),
            "icmpv6=ICMPv6 [54,114)\n"
            "  icmpv6.type=130 [54,55)\n"
            "  icmpv6.code=0 [55,56)\n"
            "  icmpv6.checksum=0x170b [56,58)\n"
            "  icmpv6.mld.maximum_response_code=1000 [58,60)\n"
            "  icmpv6.reserved=0000 [60,62)\n"
            "  icmpv6.mld.multicast_address=ff05::1:3 [62,78)\n"
            "  icmpv6.mld.flag=0x0a [78,79)\n"
            "    icmpv6.mld.flag.reserved=0 [78,79)\n"
            "    icmpv6.mld.flag.s=1 [78,79)\n"
            "    icmpv6.mld.flag.qrv=2 [78,79)\n"
            "  icmpv6.mld.qqi=125 [79,80)\n"
            "  icmpv6.mld.nb_sources=2 [80,82)\n"
            "  icmpv6.mld.source_address=2001:db8::a [82,98)\n"
            "  icmpv6.mld.source_address=2001:db8::b [98,114)\n");
  EXPECT_EQ(r.tree.layerStarts, (std::vector<std::int32_t>{54}));

  // More sources announced than captured: the list ends with the capture.
  Bytes more = frame;
  more[kIcmpv6 + 27] = 0xff;
  const Decoded m = DecodeAt(more);
  EXPECT_EQ(FieldValues(m.tree.tree, more, "icmpv6.mld.source_address"), "2001:db8::a,2001:db8::b");
  EXPECT_TRUE(m.tree.text.starts_with("ICMPv6 [54,114)\n"));
}

TEST(Icmpv6, ListenerQueryCodesWithExponents) {
  struct Case {
    std::uint16_t maxCode;
    std::uint8_t qqic;
    const char* delayLine;
    const char* intervalLine;
  };
  const Case cases[] = {
      {0x7fff, 0x7f, "Maximum response code: 32767 (32767 ms)", "(QQIC): 127 (127 s)"},
      {0x8000, 0x80, "Maximum response code: 32768 (32768 ms)", "(QQIC): 128 (128 s)"},
      {0x8001, 0x81, "Maximum response code: 32769 (32776 ms)", "(QQIC): 129 (136 s)"},
      {0xffff, 0xff, "Maximum response code: 65535 (8387584 ms)", "(QQIC): 255 (31744 s)"},
  };
  for (const Case& c : cases) {
    Bytes frame = ListenerQueryV2();
    frame[kIcmpv6 + 4] = static_cast<std::uint8_t>(c.maxCode >> 8);
    frame[kIcmpv6 + 5] = static_cast<std::uint8_t>(c.maxCode);
    frame[kIcmpv6 + 25] = c.qqic;
    const std::string text = DecodeAt(frame).tree.text;
    EXPECT_NE(text.find("  " + std::string(c.delayLine) + " [58,60)\n"), std::string::npos) << text;
    EXPECT_NE(text.find(std::string(c.intervalLine) + " [79,80)\n"), std::string::npos) << text;
  }
}

TEST(Icmpv6, ListenerReportOfVersion2WithRecords) {
  const Bytes frame = ListenerReportV2();
  const Decoded r = DecodeAt(frame);
  EXPECT_EQ(r.tree.text,
            "ICMPv6 [54,138)\n"
            "  Type: 143 (Version 2 Multicast Listener Report) [54,55)\n"
            "  Code: 0 [55,56)\n"
            "  Checksum: 0x6d0d [56,58)\n"
            "  Reserved [58,60)\n"
            "  Number of multicast address records: 2 [60,62)\n"
            "  Multicast address record: ff05::1:3 [62,118)\n"
            "    Record type: 1 (Mode is include) [62,63)\n"
            "    Aux data length: 1 (4 bytes) [63,64)\n"
            "    Number of sources: 2 [64,66)\n"
            "    Multicast address: ff05::1:3 [66,82)\n"
            "    Source address: 2001:db8::a [82,98)\n"
            "    Source address: 2001:db8::b [98,114)\n"
            "    Auxiliary data (4 bytes) [114,118)\n"
            "  Multicast address record: ff02::db8:1 [118,138)\n"
            "    Record type: 4 (Change to exclude mode) [118,119)\n"
            "    Aux data length: 0 (0 bytes) [119,120)\n"
            "    Number of sources: 0 [120,122)\n"
            "    Multicast address: ff02::db8:1 [122,138)\n");
  EXPECT_EQ(FieldsText(r.tree.tree, frame),
            "icmpv6=ICMPv6 [54,138)\n"
            "  icmpv6.type=143 [54,55)\n"
            "  icmpv6.code=0 [55,56)\n"
            "  icmpv6.checksum=0x6d0d [56,58)\n"
            "  icmpv6.reserved=0000 [58,60)\n"
            "  icmpv6.mldr.nb_mcast_records=2 [60,62)\n"
            "  icmpv6.mldr.mar= [62,118)\n"
            "    icmpv6.mldr.mar.record_type=1 [62,63)\n"
            "    icmpv6.mldr.mar.aux_data_len=1 [63,64)\n"
            "    icmpv6.mldr.mar.nb_sources=2 [64,66)\n"
            "    icmpv6.mldr.mar.multicast_address=ff05::1:3 [66,82)\n"
            "    icmpv6.mldr.mar.source_address=2001:db8::a [82,98)\n"
            "    icmpv6.mldr.mar.source_address=2001:db8::b [98,114)\n"
            "    icmpv6.mldr.mar.auxiliary_data=41555821 [114,118)\n"
            "  icmpv6.mldr.mar= [118,138)\n"
            "    icmpv6.mldr.mar.record_type=4 [118,119)\n"
            "    icmpv6.mldr.mar.aux_data_len=0 [119,120)\n"
            "    icmpv6.mldr.mar.nb_sources=0 [120,122)\n"
            "    icmpv6.mldr.mar.multicast_address=ff02::db8:1 [122,138)\n");
  EXPECT_EQ(r.tree.layerStarts, (std::vector<std::int32_t>{54}));

  // A record count beyond the captured records: the walk ends with the capture.
  Bytes more = frame;
  more[kIcmpv6 + 6] = 0xff;
  more[kIcmpv6 + 7] = 0xff;
  const Decoded m = DecodeAt(more);
  EXPECT_EQ(FieldValues(m.tree.tree, more, "icmpv6.mldr.mar.record_type"), "1,4");
  // Fewer records than captured: the bytes after them are left over.
  Bytes fewer = frame;
  fewer[kIcmpv6 + 7] = 0x01;
  const Decoded f = DecodeAt(fewer);
  EXPECT_TRUE(f.tree.text.starts_with("ICMPv6 [54,118)\n")) << f.tree.text;
  EXPECT_EQ(f.scripts.offers, (std::vector<std::string>{"icmpv6@118"}));
  EXPECT_EQ(f.tree.layerStarts, (std::vector<std::int32_t>{54, 118}));
}

TEST(Icmpv6, ZeroLengthOptionIsMalformedAndEndsTheWalk) {
  const Bytes frame = ZeroLengthOption();
  const Decoded r = DecodeAt(frame);
  EXPECT_EQ(r.tree.text,
            "ICMPv6 [54,80)\n"
            "  Type: 135 (Neighbor Solicitation) [54,55)\n"
            "  Code: 0 [55,56)\n"
            "  Checksum: 0x778e [56,58)\n"
            "  Reserved [58,62)\n"
            "  Target address: fe80::2 [62,78)\n"
            "  Option: Source Link-Layer Address [78,80)\n"
            "    Type: 1 (Source Link-Layer Address) [78,79)\n"
            "    Length: 0 (malformed: an option is never empty) [79,80)\n");
  EXPECT_EQ(FieldsText(r.tree.tree, frame),
            "icmpv6=ICMPv6 [54,80)\n"
            "  icmpv6.type=135 [54,55)\n"
            "  icmpv6.code=0 [55,56)\n"
            "  icmpv6.checksum=0x778e [56,58)\n"
            "  icmpv6.reserved=00000000 [58,62)\n"
            "  icmpv6.nd.ns.target_address=fe80::2 [62,78)\n"
            "  icmpv6.opt= [78,80)\n"
            "    icmpv6.opt.type=1 [78,79)\n"
            "    icmpv6.opt.length=0 [79,80)\n");
  // What follows is not decoded, and not offered to the scripts either.
  EXPECT_EQ(r.tree.layerStarts, (std::vector<std::int32_t>{54, 80}));
  EXPECT_TRUE(r.scripts.offers.empty());
}

TEST(Icmpv6, TypesWithoutALayoutShowTheRestAsData) {
  const Bytes frame = Icmpv6Frame(kHost1, kHost2, "c80331a7 010203040506");
  const Decoded r = DecodeAt(frame);
  EXPECT_EQ(r.tree.text,
            "ICMPv6 [54,64)\n"
            "  Type: 200 (Private experimentation) [54,55)\n"
            "  Code: 3 [55,56)\n"
            "  Checksum: 0x31a7 [56,58)\n"
            "  Data (6 bytes) [58,64)\n");
  EXPECT_EQ(FieldValue(r.tree.tree, frame, "icmpv6.data"), "010203040506");
  EXPECT_EQ(r.tree.layerStarts, (std::vector<std::int32_t>{54}));
  EXPECT_TRUE(r.scripts.offers.empty());

  struct Case {
    std::uint8_t type;
    const char* line;
  };
  const Case names[] = {
      {0, "Type: 0 (Unknown)"},
      {127, "Type: 127 (Reserved for expansion)"},
      {139, "Type: 139 (Node Information Query)"},
      {141, "Type: 141 (Inverse Neighbor Discovery Solicitation)"},
      {151, "Type: 151 (Multicast Router Advertisement)"},
      {250, "Type: 250 (Unknown)"},
  };
  for (const Case& c : names) {
    Bytes message = frame;
    message[kIcmpv6] = c.type;
    const std::string text = DecodeAt(message).tree.text;
    EXPECT_EQ(FirstLayer(text),
              "ICMPv6 [54,64)\n  " + std::string(c.line) +
                  " [54,55)\n  Code: 3 [55,56)\n  Checksum: 0x31a7 [56,58)\n  Data (6 bytes) [58,64)\n");
  }
}

TEST(Icmpv6, AMessageOfOneByteShowsItsType) {
  const Bytes frame = Icmpv6Frame(kHost1, kHost2, "87");
  EXPECT_EQ(DecodeAt(frame).tree.text,
            "ICMPv6 [54,55)\n"
            "  Type: 135 (Neighbor Solicitation) [54,55)\n");
}

TEST(Icmpv6, SummaryCountsTheMessageAndNothingOfTheQuotedPacket) {
  for (const Bytes& frame : {PacketTooBig(), Redirect(), EchoRequest()}) {
    const SummaryDecode s = SummaryAt(frame);
    EXPECT_EQ(s.sink.protocols, (std::vector<std::string>{"ICMPv6/2"}));
    EXPECT_EQ(s.row.ProtocolsText(), "ICMPv6 ");
    EXPECT_FALSE(s.row.hasSrcIp || s.row.hasDstIp || s.row.hasSrcPort || s.row.hasDstPort);
    EXPECT_TRUE(s.sink.samples.empty());
  }
}

// --- through the whole decoder chain ---

std::vector<Bytes> TestFrames() {
  return {EchoRequest(),
          PacketTooBig(),
          ErrorFrame("010444d5 00000000"),
          NeighborSolicitation(),
          NeighborAdvertisement(),
          RouterAdvertisement(),
          Redirect(),
          ListenerQueryV2(),
          ListenerReportV2(),
          ZeroLengthOption(),
          Icmpv6Frame(kHost1, kAllNodes, "82005917 2710 0000 00000000000000000000000000000000"),
          Icmpv6Frame(kHost1, kHost2, "c80331a7 010203040506")};
}

// The IPv6 decoder hands next header 58 to this one when both are on; the
// tests of the whole chain wait for it.
bool Icmpv6Reached(std::span<const std::uint8_t> frame) {
  return DecodeTreeOf(frame, nullptr, EnabledDecoders::All()).text.find("\nICMPv6 [") != std::string::npos;
}

TEST(Icmpv6, ThroughIpv6TheTreeAndTheRowAreThoseOfTheOuterPacket) {
  const Bytes frame = PacketTooBig();
  if (!Icmpv6Reached(frame)) GTEST_SKIP() << "the IPv6 decoder does not hand ICMPv6 on yet";
  const TreeDecode t = DecodeTreeOf(frame, nullptr, EnabledDecoders::All());
  const std::string layer = t.text.substr(t.text.find("\nICMPv6 [") + 1);
  EXPECT_EQ(FirstLayer(layer), FirstLayer(DecodeAt(frame).tree.text));

  const SummaryDecode s = DecodeSummaryOf(frame, EnabledDecoders::All());
  EXPECT_EQ(s.row.ProtocolsText(), "IPv6 ICMPv6 ");
  EXPECT_EQ(s.row.SrcIpText(), "2001:db8::fe");
  EXPECT_EQ(s.row.DstIpText(), "2001:db8::1");
  EXPECT_FALSE(s.row.hasSrcPort || s.row.hasDstPort);
  for (const std::string& p : s.sink.protocols) EXPECT_NE(p, "UDP/3");
  EXPECT_TRUE(s.sink.samples.empty());

  // Switched off, ICMPv6 is not decoded: no layer of its own (the IPv6
  // header still names next header 58).
  EnabledDecoders noIcmpv6 = EnabledDecoders::All();
  noIcmpv6.Set(OptionalDecoder::Icmpv6, false);
  EXPECT_EQ(DecodeTreeOf(frame, nullptr, noIcmpv6).text.find("\nICMPv6"), std::string::npos);
  EXPECT_EQ(DecodeSummaryOf(frame, noIcmpv6).row.ProtocolsText().find("ICMPv6"), std::string::npos);
}

TEST(Icmpv6, TheClassicDecodersNeverReachIt) {
  for (const Bytes& frame : TestFrames()) {
    EXPECT_EQ(DecodeTreeOf(frame).text.find("ICMPv6"), std::string::npos);
    EXPECT_EQ(DecodeSummaryOf(frame).row.ProtocolsText().find("ICMPv6"), std::string::npos);
  }
}

// --- damaged and hostile messages ---

void ExpectEveryCutWithin(const Bytes& frame, std::uint32_t at) {
  for (std::size_t n = 0; n <= frame.size(); ++n) {
    const Bytes cut(frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(n));
    const Decoded r = DecodeAt(cut, at);
    EXPECT_TRUE(RangesWithin(r.tree.tree, static_cast<std::uint32_t>(n))) << "cut at " << n << "\n" << r.tree.text;
    SummaryAt(cut, at);
    const TreeDecode whole = DecodeTreeOf(cut, nullptr, EnabledDecoders::All());
    EXPECT_TRUE(RangesWithin(whole.tree, static_cast<std::uint32_t>(n))) << "cut at " << n << "\n" << whole.text;
    DecodeSummaryOf(cut, EnabledDecoders::All());
  }
}

TEST(Icmpv6, EveryCutOfEveryFrameStaysWithinTheCapturedBytes) {
  for (const Bytes& frame : TestFrames()) ExpectEveryCutWithin(frame, kIcmpv6);
}

TEST(Icmpv6, RandomBodiesOfEveryKnownTypeStayWithinTheCapturedBytes) {
  // A fixed generator, so a failure repeats.
  std::uint32_t state = 12345;
  auto next = [&state] {
    state = state * 1103515245u + 12345u;
    return static_cast<std::uint8_t>(state >> 16);
  };
  const std::uint8_t types[] = {1, 2, 3, 4, 128, 129, 130, 131, 132, 133, 134, 135, 136, 137, 143, 200};
  for (const std::uint8_t type : types) {
    for (int round = 0; round < 100; ++round) {
      Bytes frame = EchoRequest();
      frame.resize(kIcmpv6);
      const std::size_t length = next() % 160;
      for (std::size_t i = 0; i < length; ++i) frame.push_back(next());
      if (!frame.empty() && length > 0) frame[kIcmpv6] = type;
      // Small option and record lengths, so that walks take many steps.
      if (length > 25 && (round & 1) != 0) frame[kIcmpv6 + 25] = next() % 3;
      const Decoded r = DecodeAt(frame);
      EXPECT_TRUE(RangesWithin(r.tree.tree, static_cast<std::uint32_t>(frame.size()))) << r.tree.text;
      SummaryAt(frame);
    }
  }
}

// --- real captures ---


// Where the ICMPv6 message of an Ethernet frame starts, found by walking the
// IPv6 extension headers by hand; nothing when the frame carries none.
std::optional<std::uint32_t> Icmpv6Offset(const Bytes& f) {
  if (f.size() < 54 || f[12] != 0x86 || f[13] != 0xdd) return std::nullopt;
  std::uint8_t next = f[20];
  std::size_t at = 54;
  while (at + 8 <= f.size()) {
    if (next == 58) return static_cast<std::uint32_t>(at);
    if (next == 0 || next == 43 || next == 60) {
      next = f[at];
      at += (f[at + 1] + 1u) * 8u;
    } else if (next == 44) {
      next = f[at];
      at += 8;
    } else {
      return std::nullopt;
    }
  }
  return std::nullopt;
}

struct CorpusDecoded {
  Bytes frame;
  Decoded run;
};

std::vector<CorpusDecoded> DecodeCorpus(const char* name) {
  std::vector<CorpusDecoded> out;
  for (Bytes& frame : CorpusFrames(name)) {
    const std::optional<std::uint32_t> at = Icmpv6Offset(frame);
    if (!at) continue;
    Decoded run = DecodeAt(frame, *at);
    out.push_back({std::move(frame), std::move(run)});
  }
  return out;
}

// The values tshark shows for the same fields of the same frames
// (`tshark -T fields -e ...`).
TEST(Icmpv6, RealRouterAdvertisementAndListenerMessagesMatchTshark) {
  const std::vector<CorpusDecoded> runs = DecodeCorpus("icmpv6.pcap");
  if (runs.empty()) GTEST_SKIP() << "no corpus at " << QUORVANET_CORPUS_DIR;
  ASSERT_EQ(runs.size(), 5u);
  const auto value = [&runs](std::size_t i, std::string_view abbrev) {
    return FieldValues(runs[i].run.tree.tree, runs[i].frame, abbrev);
  };
  EXPECT_EQ(value(0, "icmpv6.type"), "134");
  EXPECT_EQ(value(0, "icmpv6.checksum"), "0x2401");
  EXPECT_EQ(value(0, "icmpv6.nd.ra.flag"), "0x20");
  EXPECT_EQ(value(0, "icmpv6.nd.ra.flag.h"), "1");
  EXPECT_EQ(value(0, "icmpv6.nd.ra.router_lifetime"), "15");
  EXPECT_EQ(value(0, "icmpv6.opt.type"), "3,25,31,5,1,7,8");
  EXPECT_EQ(value(0, "icmpv6.opt.length"), "4,5,7,1,1,1,1");
  EXPECT_EQ(value(0, "icmpv6.opt.prefix"), "2222:3333:4444:5555:6600::");
  EXPECT_EQ(value(0, "icmpv6.opt.prefix.length"), "72");
  EXPECT_EQ(value(0, "icmpv6.opt.prefix.valid_lifetime"), "2592000");
  EXPECT_EQ(value(0, "icmpv6.opt.prefix.preferred_lifetime"), "604800");
  EXPECT_EQ(value(0, "icmpv6.opt.rdnss"), "abcd::efef,1234:5678::1");
  EXPECT_EQ(value(0, "icmpv6.opt.rdnss.lifetime"), "5");
  EXPECT_EQ(value(0, "icmpv6.opt.mtu"), "100");
  EXPECT_EQ(value(0, "icmpv6.opt.src_linkaddr"), "b0:99:28:c8:d6:6c");
  // After a hop-by-hop header in the listener messages, not in this one.
  EXPECT_EQ(runs[0].run.tree.layerStarts, (std::vector<std::int32_t>{54}));
  EXPECT_EQ(runs[1].run.tree.layerStarts, (std::vector<std::int32_t>{62}));

  EXPECT_EQ(value(1, "icmpv6.mldr.mar.multicast_address"), "ff02::db8:1122:3344");
  EXPECT_EQ(value(1, "icmpv6.mldr.mar.record_type"), "4");
  EXPECT_EQ(value(2, "icmpv6.type"), "130");
  EXPECT_EQ(value(2, "icmpv6.mld.maximum_response_code"), "10000");
  EXPECT_EQ(value(2, "icmpv6.mld.qqi"), "60");
  EXPECT_EQ(value(2, "icmpv6.mld.flag.qrv"), "2");
  EXPECT_EQ(value(2, "icmpv6.mld.nb_sources"), "0");
  EXPECT_EQ(value(3, "icmpv6.mldr.nb_mcast_records"), "4");
  EXPECT_EQ(value(3, "icmpv6.mldr.mar.multicast_address"),
            "ff02::db8:1122:3344,ff02::1:ffcc:e546,ff02::1:ffa7:10ad,ff02::1:ff00:2");
  EXPECT_EQ(value(3, "icmpv6.mldr.mar.record_type"), "2,2,2,2");
  EXPECT_EQ(value(4, "icmpv6.mldr.mar.record_type"), "3");
  for (const CorpusDecoded& c : runs) {
    // Each message fills its frame: nothing is left over.
    EXPECT_EQ(c.run.tree.layerStarts.size(), 1u);
    EXPECT_EQ(c.run.tree.tree[c.run.tree.tree.TopLevel()[0]].end, c.frame.size());
    ExpectEveryCutWithin(c.frame, c.run.tree.layerStarts[0]);
  }
}

TEST(Icmpv6, RealEchoBehindARoutingHeaderAndParameterProblemMatchTshark) {
  const std::vector<CorpusDecoded> echo = DecodeCorpus("ipv6-routing-header.pcap");
  const std::vector<CorpusDecoded> problem = DecodeCorpus("icmpv6-rfc7112.pcap");
  if (echo.empty() || problem.empty()) GTEST_SKIP() << "no corpus at " << QUORVANET_CORPUS_DIR;
  ASSERT_EQ(echo.size(), 2u);
  for (const CorpusDecoded& c : echo) {
    EXPECT_EQ(FieldValues(c.run.tree.tree, c.frame, "icmpv6.type"), "128");
    EXPECT_EQ(FieldValues(c.run.tree.tree, c.frame, "icmpv6.echo.identifier"), "0x0000");
    EXPECT_EQ(FieldValues(c.run.tree.tree, c.frame, "icmpv6.echo.sequence_number"), "0");
    ExpectEveryCutWithin(c.frame, c.run.tree.layerStarts[0]);
  }
  EXPECT_EQ(FieldValues(echo[0].run.tree.tree, echo[0].frame, "icmpv6.checksum"), "0xd3ab");
  EXPECT_EQ(FieldValues(echo[1].run.tree.tree, echo[1].frame, "icmpv6.checksum"), "0xd37b");

  ASSERT_EQ(problem.size(), 1u);
  const CorpusDecoded& p = problem[0];
  EXPECT_EQ(FirstLayer(p.run.tree.text),
            "ICMPv6 [54,62)\n"
            "  Type: 4 (Parameter Problem) [54,55)\n"
            "  Code: 3 (IPv6 first fragment has incomplete IPv6 header chain) [55,56)\n"
            "  Checksum: 0x994c [56,58)\n"
            "  Pointer: 48 [58,62)\n");
  ASSERT_GE(p.run.tree.layerStarts.size(), 2u);
  EXPECT_EQ(p.run.tree.layerStarts[1], 62);  // the quoted packet with its fragment header
  ExpectEveryCutWithin(p.frame, 54);
}

}  // namespace
}  // namespace qv
