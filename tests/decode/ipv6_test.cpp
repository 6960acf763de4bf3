// The IPv6 decoder: the fixed header, the extension header chain (options,
// routing, fragment, AH, ESP), the protocol after it, the row and the
// conversation sample, from every link layer that carries IPv6; and, with
// the decoder switched off, the classic bare line.

#include "decode/ipv6.h"

#include <gtest/gtest.h>
#include <pcap/pcap.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "decode/ipv6_ext.h"
#include "decode/link_types.h"
#include "decode_helpers.h"

namespace qv {
namespace {

using namespace qv::testing;

using Ip6 = std::array<std::uint8_t, 16>;

const framegen::Mac kDstMac{0x00, 0xa0, 0xc9, 0x14, 0xc8, 0x29};
const framegen::Mac kSrcMac{0x00, 0x1b, 0x21, 0x3a, 0x4f, 0x01};
const Ip6 kSrc{0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01};  // 2001:db8::1
const Ip6 kDst{0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x02};  // 2001:db8::2
const Ip6 kInnerSrc{0xfd, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01};      // fd00::1
const Ip6 kInnerDst{0xfd, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x02};      // fd00::2

constexpr EnabledDecoders kAll = EnabledDecoders::All();

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// An IPv6 header with its payload; the payload length is the payload's
// unless `payloadLength` pins it.
Bytes Ipv6Packet(std::uint8_t next, const Bytes& payload, std::uint8_t trafficClass = 0, std::uint32_t flow = 0,
                 const Ip6& src = kSrc, const Ip6& dst = kDst, std::optional<std::uint16_t> payloadLength = {}) {
  const std::uint32_t word = 6u << 28 | std::uint32_t{trafficClass} << 20 | (flow & 0xFFFFF);
  const std::uint16_t length = payloadLength.value_or(static_cast<std::uint16_t>(payload.size()));
  Bytes b{static_cast<std::uint8_t>(word >> 24), static_cast<std::uint8_t>(word >> 16),
          static_cast<std::uint8_t>(word >> 8),  static_cast<std::uint8_t>(word),
          static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length),
          next,                                  64};
  b.insert(b.end(), src.begin(), src.end());
  b.insert(b.end(), dst.begin(), dst.end());
  b.insert(b.end(), payload.begin(), payload.end());
  return b;
}

// UDP 1000 -> 2000 carrying "abcd" (length 12, checksum left 0).
const Bytes kUdp = Hex("03e8 07d0 000c 0000 61626364");
// TCP 40000 -> 80, SYN.
const Bytes kTcp = Hex("9c40 0050 00000001 00000000 5002 ffff 0000 0000");

Bytes OnEthernet(const Bytes& packet, std::uint16_t type = 0x86DD) {
  return FrameBuilder().Ethernet(kDstMac, kSrcMac, type).Raw(packet).Build();
}

// IPv4 192.168.1.10 -> 10.0.0.1 carrying `payload` as protocol 41.
Bytes SixInFour(const Bytes& inner) {
  return FrameBuilder()
      .Ethernet(kDstMac, kSrcMac, 0x0800)
      .Ipv4({192, 168, 1, 10}, {10, 0, 0, 1}, 41)
      .Raw(inner)
      .Build();
}

// Hop-by-hop (router alert MLD, PadN 0) -> routing type 0 (one address,
// 2001:db8::3) -> fragment (offset 0, more fragments) -> UDP.
const Bytes kHopByHop = Hex("2b00 0502 0000 0100");
const Bytes kRoutingType0 = Hex("2c02 0001 00000000 20010db8000000000000000000000003");
const Bytes kFirstFragment = Hex("1100 0001 12345678");
// AH: next header UDP, 24 bytes, SPI 0x1000, sequence 1, 12-byte ICV.
const Bytes kAh = Hex("1104 0000 00001000 00000001 0102030405060708090a0b0c");
// ESP: SPI 0x201, sequence 5, 16 bytes of ciphertext.
const Bytes kEsp = Hex("00000201 00000005 a0a1a2a3a4a5a6a7a8a9aaabacadaeaf");
// A later fragment (offset 185 words = 1480 bytes, more fragments) of a UDP packet.
const Bytes kLaterFragment = Hex("1100 05c9 abcdef01");
const Bytes kFragmentData = Hex("000102030405060708090a0b0c0d0e0f");

Bytes PlainFrame() { return OnEthernet(Ipv6Packet(17, kUdp, 0xb9, 0x12345)); }
Bytes ChainFrame() { return OnEthernet(Ipv6Packet(0, Cat({kHopByHop, kRoutingType0, kFirstFragment, kUdp}))); }
Bytes AhFrame() { return OnEthernet(Ipv6Packet(51, Cat({kAh, kUdp}))); }
Bytes EspFrame() { return OnEthernet(Ipv6Packet(50, kEsp)); }
Bytes LaterFragmentFrame() { return OnEthernet(Ipv6Packet(44, Cat({kLaterFragment, kFragmentData}))); }
Bytes SixInFourFrame() { return SixInFour(Ipv6Packet(17, kUdp)); }
Bytes SixInSixFrame() { return OnEthernet(Ipv6Packet(41, Ipv6Packet(6, kTcp, 0, 0, kInnerSrc, kInnerDst))); }

// The text from the first line that begins with `line` (indent included) to the end.
std::string From(const std::string& text, const std::string& line) {
  if (text.rfind(line, 0) == 0) return text;
  const std::size_t at = text.find("\n" + line);
  return at == std::string::npos ? std::string() : text.substr(at + 1);
}

// Summary mode with every decoder on, keeping the sample the run leaves behind.
struct SummaryRun {
  PacketSummary row;
  RecordingSink sink;
  std::optional<IpConversationSample> sample;
};

SummaryRun RunSummary(std::span<const std::uint8_t> frame, int linkType = kLinkTypeEthernet) {
  SummaryRun out;
  PacketDecoder d(frame, {linkType, &out.sink, nullptr, kAll}, nullptr, DecodeMode::Summary, nullptr, &out.row);
  d.Decode();
  out.sample = d.sample;
  return out;
}

TEST(Ipv6, PlainUdpGoldenTreeFieldsAndRow) {
  const Bytes frame = PlainFrame();
  const TreeDecode t = DecodeTreeOf(frame, nullptr, kAll);
  EXPECT_EQ(From(t.text, "IPv6"),
            "IPv6 [14,54)\n"
            "  Version: 6 [14,15)\n"
            "  Traffic class: 0xb9 [14,18)\n"
            "    DSCP: 46 (EF) [14,18)\n"
            "    ECN: 1 (ECT(1)) [14,18)\n"
            "  Flow label: 0x12345 [15,18)\n"
            "  Payload length: 12 bytes [18,20)\n"
            "  Next header: 17 (UDP) [20,21)\n"
            "  Hop limit: 64 [21,22)\n"
            "  Source address: 2001:db8::1 [22,38)\n"
            "  Destination address: 2001:db8::2 [38,54)\n"
            "UDP [54,62)\n"
            "  Source port: 1000 (0x03e8) [54,56)\n"
            "  Destination port: 2000 (0x07d0) [56,58)\n"
            "  Length: 12 bytes [58,60)\n"
            "  Checksum: 0 (0x0000) [60,62)\n");
  // tshark's abbreviations and values for the same frame.
  EXPECT_EQ(FieldsText(t.tree, frame, {"ipv6", "esp"}),
            "ipv6=IPv6 [14,54)\n"
            "  ipv6.version=6 [14,15)\n"
            "  ipv6.tclass=0x000000b9 [14,18)\n"
            "    ipv6.tclass.dscp=46 [14,18)\n"
            "    ipv6.tclass.ecn=1 [14,18)\n"
            "  ipv6.flow=0x012345 [15,18)\n"
            "  ipv6.plen=12 [18,20)\n"
            "  ipv6.nxt=17 [20,21)\n"
            "  ipv6.hlim=64 [21,22)\n"
            "  ipv6.src=2001:db8::1 [22,38)\n"
            "  ipv6.dst=2001:db8::2 [38,54)\n");
  // IPv6, UDP, then UDP's unclaimed payload.
  EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{14, 54, 62}));

  const SummaryRun s = RunSummary(frame);
  EXPECT_TRUE(s.row.ipv6);
  EXPECT_EQ(s.row.SrcIpText(), "2001:db8::1");
  EXPECT_EQ(s.row.DstIpText(), "2001:db8::2");
  EXPECT_EQ(s.row.SrcPortText(), "1000");
  EXPECT_EQ(s.row.DstPortText(), "2000");
  EXPECT_EQ(s.row.ProtocolsText(), "IPv6 UDP ");
  EXPECT_EQ(s.sink.protocols, (std::vector<std::string>{"Ethernet II/1", "IPv6/2", "UDP/3"}));
  ASSERT_EQ(s.sink.samples.size(), 1u);
  const IpConversationSample& sample = s.sink.samples[0];
  EXPECT_TRUE(sample.ipv6);
  EXPECT_EQ(sample.source6, kSrc);
  EXPECT_EQ(sample.destination6, kDst);
  EXPECT_EQ(sample.totalLength, 52u);
  EXPECT_EQ(sample.sourcePort, 1000);
  EXPECT_EQ(sample.destinationPort, 2000);
}

TEST(Ipv6, TrafficClassBitLines) {
  struct Case {
    std::uint8_t trafficClass;
    const char* lines;
  };
  const Case cases[] = {
      {0x00, "  Traffic class: 0x00 [14,18)\n    DSCP: 0 (CS0) [14,18)\n    ECN: 0 (Not-ECT) [14,18)\n"},
      // The traffic class of the DHCPv6 solicits in the corpus.
      {0xc0, "  Traffic class: 0xc0 [14,18)\n    DSCP: 48 (CS6) [14,18)\n    ECN: 0 (Not-ECT) [14,18)\n"},
      {0x2a, "  Traffic class: 0x2a [14,18)\n    DSCP: 10 (AF11) [14,18)\n    ECN: 2 (ECT(0)) [14,18)\n"},
      {0x0f, "  Traffic class: 0x0f [14,18)\n    DSCP: 3 [14,18)\n    ECN: 3 (CE) [14,18)\n"},
  };
  for (const Case& c : cases) {
    // The flow label's bits beside the traffic class stay out of it.
    const Bytes frame = OnEthernet(Ipv6Packet(17, kUdp, c.trafficClass, 0xFFFFF));
    const TreeDecode t = DecodeTreeOf(frame, nullptr, kAll);
    EXPECT_NE(t.text.find(c.lines), std::string::npos) << t.text;
    EXPECT_NE(t.text.find("  Flow label: 0xfffff [15,18)\n"), std::string::npos) << t.text;
  }
}

TEST(Ipv6, ExtensionHeaderChainGoldenTree) {
  const Bytes frame = ChainFrame();
  const TreeDecode t = DecodeTreeOf(frame, nullptr, kAll);
  EXPECT_EQ(From(t.text, "  Hop limit"),
            "  Hop limit: 64 [21,22)\n"
            "  Source address: 2001:db8::1 [22,38)\n"
            "  Destination address: 2001:db8::2 [38,54)\n"
            "  Hop-by-hop options [54,62)\n"
            "    Next header: 43 (Routing) [54,55)\n"
            "    Length: 0 (8 bytes) [55,56)\n"
            "    Router alert [56,60)\n"
            "      Type: 0x05 (Router alert) [56,57)\n"
            "        Action: 0 (skip and continue) [56,57)\n"
            "        May change: no [56,57)\n"
            "        Low-order bits: 0x05 [56,57)\n"
            "      Length: 2 [57,58)\n"
            "      Router alert: 0 (MLD) [58,60)\n"
            "    PadN [60,62)\n"
            "      Type: 0x01 (PadN) [60,61)\n"
            "        Action: 0 (skip and continue) [60,61)\n"
            "        May change: no [60,61)\n"
            "        Low-order bits: 0x01 [60,61)\n"
            "      Length: 0 [61,62)\n"
            "  Routing header (source route) [62,86)\n"
            "    Next header: 44 (Fragment) [62,63)\n"
            "    Length: 2 (24 bytes) [63,64)\n"
            "    Type: 0 (source route) [64,65)\n"
            "    Segments left: 1 [65,66)\n"
            "    Reserved: 00000000 [66,70)\n"
            "    Address[1]: 2001:db8::3 [70,86)\n"
            "  Fragment header [86,94)\n"
            "    Next header: 17 (UDP) [86,87)\n"
            "    Reserved octet: 0x00 [87,88)\n"
            "    Offset: 0 (0 bytes) [88,90)\n"
            "    Reserved bits: 0 [88,90)\n"
            "    More fragments: yes [88,90)\n"
            "    Identification: 0x12345678 [90,94)\n"
            "UDP [94,102)\n"
            "  Source port: 1000 (0x03e8) [94,96)\n"
            "  Destination port: 2000 (0x07d0) [96,98)\n"
            "  Length: 12 bytes [98,100)\n"
            "  Checksum: 0 (0x0000) [100,102)\n");
  // The IPv6 line covers the whole chain.
  EXPECT_NE(t.text.find("IPv6 [14,94)\n"), std::string::npos);
  EXPECT_EQ(From(FieldsText(t.tree, frame, {"ipv6", "esp"}), "  ipv6.hopopts="),
            "  ipv6.hopopts=Hop-by-hop options [54,62)\n"
            "    ipv6.hopopts.nxt=43 [54,55)\n"
            "    ipv6.hopopts.len=0 [55,56)\n"
            "    ipv6.opt= [56,60)\n"
            "      ipv6.opt.type=0x05 [56,57)\n"
            "        ipv6.opt.type.action=0 [56,57)\n"
            "        ipv6.opt.type.change=0 [56,57)\n"
            "        ipv6.opt.type.rest=0x05 [56,57)\n"
            "      ipv6.opt.length=2 [57,58)\n"
            "      ipv6.opt.router_alert=0 [58,60)\n"
            "    ipv6.opt= [60,62)\n"
            "      ipv6.opt.type=0x01 [60,61)\n"
            "        ipv6.opt.type.action=0 [60,61)\n"
            "        ipv6.opt.type.change=0 [60,61)\n"
            "        ipv6.opt.type.rest=0x01 [60,61)\n"
            "      ipv6.opt.length=0 [61,62)\n"
            "  ipv6.routing=Routing header (source route) [62,86)\n"
            "    ipv6.routing.nxt=44 [62,63)\n"
            "    ipv6.routing.len=2 [63,64)\n"
            "    ipv6.routing.type=0 [64,65)\n"
            "    ipv6.routing.segleft=1 [65,66)\n"
            "    ipv6.routing.src.reserved=00000000 [66,70)\n"
            "    ipv6.routing.src.addr=2001:db8::3 [70,86)\n"
            "  ipv6.fraghdr=Fragment header [86,94)\n"
            "    ipv6.fraghdr.nxt=17 [86,87)\n"
            "    ipv6.fraghdr.reserved_octet=0x00 [87,88)\n"
            "    ipv6.fraghdr.offset=0 [88,90)\n"
            "    ipv6.fraghdr.reserved_bits=0 [88,90)\n"
            "    ipv6.fraghdr.more=1 [88,90)\n"
            "    ipv6.fraghdr.ident=0x12345678 [90,94)\n");

  // A first fragment's transport header is decoded: the row has its ports.
  const SummaryRun s = RunSummary(frame);
  EXPECT_EQ(s.row.ProtocolsText(), "IPv6 UDP ");
  EXPECT_EQ(s.row.SrcPortText(), "1000");
  EXPECT_EQ(s.row.DstPortText(), "2000");
  ASSERT_EQ(s.sink.samples.size(), 1u);
  EXPECT_EQ(s.sink.samples[0].totalLength, 40u + 52u);
}

TEST(Ipv6, AuthenticationHeaderJoinsTheChainAndTheRow) {
  const Bytes frame = AhFrame();
  const TreeDecode t = DecodeTreeOf(frame, nullptr, kAll);
  EXPECT_EQ(From(t.text, "  Destination address"),
            "  Destination address: 2001:db8::2 [38,54)\n"
            "  Authentication header [54,78)\n"
            "    Next header: 17 (UDP) [54,55)\n"
            "    Length: 4 (24 bytes) [55,56)\n"
            "    Reserved: 0000 [56,58)\n"
            "    SPI: 0x00001000 [58,62)\n"
            "    Sequence: 1 [62,66)\n"
            "    ICV: 0102030405060708090a0b0c [66,78)\n"
            "UDP [78,86)\n"
            "  Source port: 1000 (0x03e8) [78,80)\n"
            "  Destination port: 2000 (0x07d0) [80,82)\n"
            "  Length: 12 bytes [82,84)\n"
            "  Checksum: 0 (0x0000) [84,86)\n");
  EXPECT_EQ(From(FieldsText(t.tree, frame, {"ipv6", "esp"}), "  ah="),
            "  ah=Authentication header [54,78)\n"
            "    ah.next_header=17 [54,55)\n"
            "    ah.length=4 [55,56)\n"
            "    ah.reserved=0000 [56,58)\n"
            "    ah.spi=0x00001000 [58,62)\n"
            "    ah.sequence=1 [62,66)\n"
            "    ah.icv=0102030405060708090a0b0c [66,78)\n");
  EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{14, 54, 78, 86}));

  const SummaryRun s = RunSummary(frame);
  EXPECT_EQ(s.row.ProtocolsText(), "IPv6 AH UDP ");
  EXPECT_EQ(s.sink.protocols, (std::vector<std::string>{"Ethernet II/1", "IPv6/2", "AH/2", "UDP/3"}));
  EXPECT_EQ(s.row.DstPortText(), "2000");
  ASSERT_EQ(s.sink.samples.size(), 1u);
}

TEST(Ipv6, EspEndsTheChain) {
  const Bytes frame = EspFrame();
  const TreeDecode t = DecodeTreeOf(frame, nullptr, kAll);
  EXPECT_EQ(From(t.text, "  Next header"),
            "  Next header: 50 (ESP) [20,21)\n"
            "  Hop limit: 64 [21,22)\n"
            "  Source address: 2001:db8::1 [22,38)\n"
            "  Destination address: 2001:db8::2 [38,54)\n"
            "ESP [54,78)\n"
            "  SPI: 0x00000201 (513) [54,58)\n"
            "  Sequence: 5 [58,62)\n"
            "  Encrypted data: 16 bytes [62,78)\n");
  EXPECT_EQ(From(FieldsText(t.tree, frame, {"ipv6", "esp"}), "esp="),
            "esp=ESP [54,78)\n"
            "  esp.spi=0x00000201 [54,58)\n"
            "  esp.sequence=5 [58,62)\n"
            "  esp.encrypted_data=a0a1a2a3a4a5a6a7a8a9aaabacadaeaf [62,78)\n");
  // ESP describes everything after it: no unsupported tail.
  EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{14, 54}));

  const SummaryRun s = RunSummary(frame);
  EXPECT_EQ(s.row.ProtocolsText(), "IPv6 ESP ");
  EXPECT_FALSE(s.row.hasSrcPort || s.row.hasDstPort);
  EXPECT_TRUE(s.sink.samples.empty());
}

TEST(Ipv6, LaterFragmentIsDataWithoutPorts) {
  const Bytes frame = LaterFragmentFrame();
  const TreeDecode t = DecodeTreeOf(frame, nullptr, kAll);
  EXPECT_EQ(From(t.text, "  Fragment header"),
            "  Fragment header [54,62)\n"
            "    Next header: 17 (UDP) [54,55)\n"
            "    Reserved octet: 0x00 [55,56)\n"
            "    Offset: 185 (1480 bytes) [56,58)\n"
            "    Reserved bits: 0 [56,58)\n"
            "    More fragments: yes [56,58)\n"
            "    Identification: 0xabcdef01 [58,62)\n"
            "Data (16 bytes) [62,78)\n");
  EXPECT_EQ(FieldValue(t.tree, frame, "ipv6.fraghdr.offset"), "185");
  EXPECT_EQ(FieldValue(t.tree, frame, "ipv6.data"), "000102030405060708090a0b0c0d0e0f");
  EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{14, 62}));

  const SummaryRun s = RunSummary(frame);
  EXPECT_EQ(s.row.ProtocolsText(), "IPv6 ");
  EXPECT_EQ(s.row.SrcIpText(), "2001:db8::1");
  EXPECT_FALSE(s.row.hasSrcPort || s.row.hasDstPort);
  EXPECT_TRUE(s.sink.samples.empty());
}

TEST(Ipv6, NoNextHeaderLeavesTheRestAsData) {
  const TreeDecode rest = DecodeTreeOf(OnEthernet(Ipv6Packet(59, Hex("deadbeef"))), nullptr, kAll);
  EXPECT_EQ(From(rest.text, "  Next header"),
            "  Next header: 59 (No next header) [20,21)\n"
            "  Hop limit: 64 [21,22)\n"
            "  Source address: 2001:db8::1 [22,38)\n"
            "  Destination address: 2001:db8::2 [38,54)\n"
            "Data (4 bytes) [54,58)\n");
  // Nothing after the header: no data line.
  const TreeDecode none = DecodeTreeOf(OnEthernet(Ipv6Packet(59, {})), nullptr, kAll);
  EXPECT_EQ(none.text.find("Data"), std::string::npos) << none.text;
}

TEST(Ipv6, TunnelsShowTheInnermostPacketInTheRow) {
  {
    const Bytes frame = SixInFourFrame();
    const TreeDecode t = DecodeTreeOf(frame, nullptr, kAll);
    EXPECT_EQ(From(t.text, "IPv6"),
              "IPv6 [34,74)\n"
              "  Version: 6 [34,35)\n"
              "  Traffic class: 0x00 [34,38)\n"
              "    DSCP: 0 (CS0) [34,38)\n"
              "    ECN: 0 (Not-ECT) [34,38)\n"
              "  Flow label: 0x00000 [35,38)\n"
              "  Payload length: 12 bytes [38,40)\n"
              "  Next header: 17 (UDP) [40,41)\n"
              "  Hop limit: 64 [41,42)\n"
              "  Source address: 2001:db8::1 [42,58)\n"
              "  Destination address: 2001:db8::2 [58,74)\n"
              "UDP [74,82)\n"
              "  Source port: 1000 (0x03e8) [74,76)\n"
              "  Destination port: 2000 (0x07d0) [76,78)\n"
              "  Length: 12 bytes [78,80)\n"
              "  Checksum: 0 (0x0000) [80,82)\n");
    EXPECT_NE(t.text.find("  Protocol: 41 (0x29) [IPv6] [23,24)\n"), std::string::npos) << t.text;
    EXPECT_EQ(FieldsText(t.tree, frame, {"ipv6", "esp"}).substr(0, 20), "ipv6=IPv6 [34,74)\n  ");

    const SummaryRun s = RunSummary(frame);
    EXPECT_EQ(s.row.ProtocolsText(), "IPv4 IPv6 UDP ");
    EXPECT_TRUE(s.row.ipv6);
    EXPECT_EQ(s.row.SrcIpText(), "2001:db8::1");
    EXPECT_EQ(s.row.DstIpText(), "2001:db8::2");
    ASSERT_EQ(s.sink.samples.size(), 1u);
    EXPECT_TRUE(s.sink.samples[0].ipv6);
    EXPECT_EQ(s.sink.samples[0].totalLength, 52u);
  }
  {
    const Bytes frame = SixInSixFrame();
    const TreeDecode t = DecodeTreeOf(frame, nullptr, kAll);
    EXPECT_EQ(From(t.text, "  Next header"),
              "  Next header: 41 (IPv6) [20,21)\n"
              "  Hop limit: 64 [21,22)\n"
              "  Source address: 2001:db8::1 [22,38)\n"
              "  Destination address: 2001:db8::2 [38,54)\n"
              "IPv6 [54,94)\n"
              "  Version: 6 [54,55)\n"
              "  Traffic class: 0x00 [54,58)\n"
              "    DSCP: 0 (CS0) [54,58)\n"
              "    ECN: 0 (Not-ECT) [54,58)\n"
              "  Flow label: 0x00000 [55,58)\n"
              "  Payload length: 20 bytes [58,60)\n"
              "  Next header: 6 (TCP) [60,61)\n"
              "  Hop limit: 64 [61,62)\n"
              "  Source address: fd00::1 [62,78)\n"
              "  Destination address: fd00::2 [78,94)\n"
              "TCP [94,114)\n"
              "  Source port: 40000 (0x9c40) [94,96)\n"
              "  Destination port: 80 (0x0050) [96,98)\n"
              "  Sequence number: 1 (0x00000001) [98,102)\n"
              "  Acknowledgement number: 0 (0x00000000) [102,106)\n"
              "  Offset: 5 (0x5) - 20 bytes [106,107)\n"
              "  Flags SYN [107,108)\n"
              "    0-----: FIN off [107,108)\n"
              "    -1----: SYN on [107,108)\n"
              "    --0---: RST off [107,108)\n"
              "    ---0--: PSH off [107,108)\n"
              "    ----0-: ACK off [107,108)\n"
              "    -----0: URG off [107,108)\n"
              "  Window: 65535 (0xffff) [108,110)\n"
              "  Checksum: 0 (0x0000) [110,112)\n"
              "  Urgent pointer: 0 (0x0000) [112,114)\n");

    const SummaryRun s = RunSummary(frame);
    EXPECT_EQ(s.row.ProtocolsText(), "IPv6 IPv6 TCP ");
    EXPECT_EQ(s.row.SrcIpText(), "fd00::1");
    EXPECT_EQ(s.row.DstIpText(), "fd00::2");
    EXPECT_EQ(s.row.SrcPortText(), "40000");
    ASSERT_EQ(s.sink.samples.size(), 1u);
    EXPECT_EQ(s.sink.samples[0].source6, kInnerSrc);
    EXPECT_EQ(s.sink.samples[0].destination6, kInnerDst);
    EXPECT_EQ(s.sink.samples[0].totalLength, 60u);
  }
  {
    // IPv4 inside IPv6: the inner IPv4 header writes the row last.
    const Bytes inner = FrameBuilder().Ipv4({10, 1, 2, 3}, {10, 9, 8, 7}, 17).Udp(5353, 53).Build();
    const SummaryRun s = RunSummary(OnEthernet(Ipv6Packet(4, inner)));
    EXPECT_EQ(s.row.ProtocolsText(), "IPv6 IPv4 UDP ");
    EXPECT_FALSE(s.row.ipv6);
    EXPECT_EQ(s.row.SrcIpText(), "10.1.2.3");
    EXPECT_EQ(s.row.DstPortText(), "53");
  }
}

TEST(Ipv6, SwitchedOffGivesTheClassicBareLine) {
  for (const Bytes& frame : {PlainFrame(), ChainFrame(), EspFrame()}) {
    EnabledDecoders decoders = kAll;
    decoders.Set(OptionalDecoder::Ipv6, false);
    for (const EnabledDecoders e : {EnabledDecoders::Classic(), decoders}) {
      const TreeDecode t = DecodeTreeOf(frame, nullptr, e);
      EXPECT_EQ(From(t.text, "IPv6"), "IPv6\n");
      EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{14}));
      EXPECT_EQ(FieldsText(t.tree, frame, {"ipv6", "esp"}), "");

      SummaryDecode s = DecodeSummaryOf(frame, e);
      EXPECT_EQ(s.row.ProtocolsText(), "");
      EXPECT_FALSE(s.row.hasSrcIp || s.row.hasDstIp || s.row.hasSrcPort);
      EXPECT_EQ(s.sink.protocols, (std::vector<std::string>{"Ethernet II/1", "IPv6/2"}));
    }
  }
  // IPv4 does not hand protocol 41 on: the payload is IPv4's tail.
  const TreeDecode t = DecodeTreeOf(SixInFourFrame());
  EXPECT_EQ(t.text.find("IPv6 ["), std::string::npos) << t.text;
  EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{14, 34}));
}

TEST(Ipv6, Options) {
  struct Case {
    const char* name;
    const char* options;  // the 14 option bytes of a 16-byte destination options header
    const char* lines;    // expected somewhere in the tree
  };
  const Case cases[] = {
      {"pad1 and padn", "00 01 0b 0000000000000000 000000",
       "    Pad1 [56,57)\n"
       "      Type: 0x00 (Pad1) [56,57)\n"
       "    PadN [57,70)\n"
       "      Type: 0x01 (PadN) [57,58)\n"
       "        Action: 0 (skip and continue) [57,58)\n"
       "        May change: no [57,58)\n"
       "        Low-order bits: 0x01 [57,58)\n"
       "      Length: 11 [58,59)\n"
       "      PadN: 11 bytes [59,70)\n"},
      {"tunnel limit", "04 01 04 01 09 000000000000000000",
       "    Tunnel encapsulation limit [56,59)\n"
       "      Type: 0x04 (Tunnel encapsulation limit) [56,57)\n"
       "        Action: 0 (skip and continue) [56,57)\n"
       "        May change: no [56,57)\n"
       "        Low-order bits: 0x04 [56,57)\n"
       "      Length: 1 [57,58)\n"
       "      Tunnel encapsulation limit: 4 [58,59)\n"},
      {"router alert RSVP", "05 02 0001 01 08 0000000000000000", "      Router alert: 1 (RSVP) [58,60)\n"},
      {"router alert unnamed", "05 02 00ff 01 08 0000000000000000", "      Router alert: 255 [58,60)\n"},
      {"jumbo", "c2 04 00012000 01 06 000000000000",
       "    Jumbo payload [56,62)\n"
       "      Type: 0xc2 (Jumbo payload) [56,57)\n"
       "        Action: 3 (discard and send ICMP if not multicast) [56,57)\n"
       "        May change: no [56,57)\n"
       "        Low-order bits: 0x02 [56,57)\n"
       "      Length: 4 [57,58)\n"
       "      Jumbo payload length: 73728 bytes [58,62)\n"},
      {"unknown type, may change", "3e 03 aabbcc 01 07 00000000000000",
       "    Option 0x3e [56,61)\n"
       "      Type: 0x3e [56,57)\n"
       "        Action: 0 (skip and continue) [56,57)\n"
       "        May change: yes [56,57)\n"
       "        Low-order bits: 0x1e [56,57)\n"
       "      Length: 3 [57,58)\n"
       "      Data: 3 bytes [58,61)\n"},
      // A known option whose length does not fit its kind shows bytes.
      {"router alert of 3 bytes", "05 03 000102 01 07 00000000000000", "      Data: 3 bytes [58,61)\n"},
      // An option running past its header ends at the header's end, and so does the walk.
      {"too long", "01 00 01 ff 0000000000000000 0000",
       "    PadN [58,70)\n"
       "      Type: 0x01 (PadN) [58,59)\n"
       "        Action: 0 (skip and continue) [58,59)\n"
       "        May change: no [58,59)\n"
       "        Low-order bits: 0x01 [58,59)\n"
       "      Length: 255 [59,60)\n"
       "      PadN: 10 bytes [60,70)\n"
       "UDP [70,78)\n"},
  };
  for (const Case& c : cases) {
    const Bytes header = Cat({Hex("11 01"), Hex(c.options)});
    ASSERT_EQ(header.size(), 16u) << c.name;
    const Bytes frame = OnEthernet(Ipv6Packet(60, Cat({header, kUdp})));
    const TreeDecode t = DecodeTreeOf(frame, nullptr, kAll);
    EXPECT_NE(t.text.find("  Destination options [54,70)\n    Next header: 17 (UDP) [54,55)\n    Length: 1 (16 bytes) [55,56)\n"),
              std::string::npos)
        << c.name << "\n" << t.text;
    EXPECT_NE(t.text.find(c.lines), std::string::npos) << c.name << "\n" << t.text;
    EXPECT_NE(t.text.find("UDP [70,78)\n"), std::string::npos) << c.name << "\n" << t.text;
  }

  // A home address option (type 0xc9), after four bytes of padding.
  const Bytes home = Cat({Hex("3b02 01020000 c910"), Bytes(kInnerSrc.begin(), kInnerSrc.end())});
  const Bytes frame = OnEthernet(Ipv6Packet(60, home));
  const TreeDecode t = DecodeTreeOf(frame, nullptr, kAll);
  EXPECT_NE(t.text.find("    Home address [60,78)\n"), std::string::npos) << t.text;
  EXPECT_NE(t.text.find("      Home address: fd00::1 [62,78)\n"), std::string::npos) << t.text;
  EXPECT_EQ(FieldValue(t.tree, frame, "ipv6.opt.mipv6.home_address"), "fd00::1");
}

TEST(Ipv6, RoutingHeaderTypes) {
  const Bytes segments =
      Hex("20010db800000000000000000000000a 20010db800000000000000000000000b 20010db800000000000000000000000c");
  const Bytes twoSegments = Hex("20010db800000000000000000000000a 20010db800000000000000000000000b");
  {
    // Segment routing: last entry 2, tag 0x1234, three segments.
    const Bytes frame = OnEthernet(Ipv6Packet(43, Cat({Hex("3b06 0402 02 00 1234"), segments})));
    const TreeDecode t = DecodeTreeOf(frame, nullptr, kAll);
    EXPECT_EQ(From(t.text, "  Routing header"),
              "  Routing header (segment routing) [54,110)\n"
              "    Next header: 59 (No next header) [54,55)\n"
              "    Length: 6 (56 bytes) [55,56)\n"
              "    Type: 4 (segment routing) [56,57)\n"
              "    Segments left: 2 [57,58)\n"
              "    Last entry: 2 [58,59)\n"
              "    Flags: 0x00 [59,60)\n"
              "    Tag: 0x1234 [60,62)\n"
              "    Address[0]: 2001:db8::a [62,78)\n"
              "    Address[1]: 2001:db8::b [78,94)\n"
              "    Address[2]: 2001:db8::c [94,110)\n");
    EXPECT_EQ(From(FieldsText(t.tree, frame, {"ipv6", "esp"}), "    ipv6.routing.srh"),
              "    ipv6.routing.srh.last_entry=2 [58,59)\n"
              "    ipv6.routing.srh.flags=0x00 [59,60)\n"
              "    ipv6.routing.srh.tag=1234 [60,62)\n"
              "    ipv6.routing.srh.addr=2001:db8::a [62,78)\n"
              "    ipv6.routing.srh.addr=2001:db8::b [78,94)\n"
              "    ipv6.routing.srh.addr=2001:db8::c [94,110)\n");
  }
  struct Case {
    const char* name;
    Bytes header;
    const char* lines;
  };
  const Case cases[] = {
      // The segment list ends at the last entry; what follows are TLVs.
      {"segment routing with TLVs", Cat({Hex("3b04 0401 00 00 0000"), twoSegments}),
       "    Address[0]: 2001:db8::a [62,78)\n"
       "  Extension"},
      // A last entry beyond the header lists only what the header holds.
      {"last entry too large", Cat({Hex("3b04 0401 ff 00 0000"), twoSegments}),
       "    Address[1]: 2001:db8::b [78,94)\n"
       "  Extension"},
      {"mobile IPv6", Cat({Hex("3b02 0201 00000000"), Bytes(kInnerSrc.begin(), kInnerSrc.end())}),
       "  Routing header (Mobile IPv6) [54,78)\n"
       "    Next header: 59 (No next header) [54,55)\n"
       "    Length: 2 (24 bytes) [55,56)\n"
       "    Type: 2 (Mobile IPv6) [56,57)\n"
       "    Segments left: 1 [57,58)\n"
       "    Reserved: 00000000 [58,62)\n"
       "    Home address: fd00::1 [62,78)\n"},
      {"RPL", Hex("3b01 0300 00112233 44556677 8899aabb"),
       "    Type: 3 (RPL source route) [56,57)\n"
       "    Segments left: 0 [57,58)\n"
       "    Routing data: 12 bytes [58,70)\n"},
      {"unnamed type", Hex("3b00 fe01 00112233"),
       "  Routing header (type 254) [54,62)\n"
       "    Next header: 59 (No next header) [54,55)\n"
       "    Length: 0 (8 bytes) [55,56)\n"
       "    Type: 254 [56,57)\n"
       "    Segments left: 1 [57,58)\n"
       "    Routing data: 4 bytes [58,62)\n"},
  };
  for (const Case& c : cases) {
    // A marker line after the header shows where its lines end.
    const TreeDecode t = DecodeTreeOf(OnEthernet(Ipv6Packet(43, c.header)), nullptr, kAll);
    std::string text = t.text + "  Extension";
    EXPECT_NE(text.find(c.lines), std::string::npos) << c.name << "\n" << t.text;
  }
}

TEST(Ipv6, ProtocolAfterTheChainAndTheScripts) {
  struct Case {
    const char* name;
    Bytes packet;
    EnabledDecoders decoders;
    const char* firstOffer;  // to the scripts
    std::vector<std::int32_t> layerStarts;
  };
  EnabledDecoders noIcmpv6 = kAll;
  noIcmpv6.Set(OptionalDecoder::Icmpv6, false);
  EnabledDecoders noGre = kAll;
  noGre.Set(OptionalDecoder::Gre, false);
  const Bytes echo = Hex("8000 0000 1234 0001");
  const Case cases[] = {
      // No decoder for SCTP: the payload after the whole chain is offered under "ipv6".
      {"unknown after options", Ipv6Packet(60, Cat({Hex("8400 0104 00000000"), Hex("0001 0002")})), kAll, "ipv6@62",
       {14, 62}},
      // ICMPv6 and GRE: the stored scripts see the payload first.
      {"ICMPv6 on", Ipv6Packet(58, echo), kAll, "ipv6@54", {}},
      {"ICMPv6 off", Ipv6Packet(58, echo), noIcmpv6, "ipv6@54", {14, 54}},
      {"GRE on", Ipv6Packet(47, Hex("0000 86dd")), kAll, "ipv6@54", {}},
      {"GRE off", Ipv6Packet(47, Hex("0000 86dd")), noGre, "ipv6@54", {14, 54}},
  };
  for (const Case& c : cases) {
    RecordingScripts scripts;
    const TreeDecode t = DecodeTreeOf(OnEthernet(c.packet), &scripts, c.decoders);
    ASSERT_FALSE(scripts.offers.empty()) << c.name;
    EXPECT_EQ(scripts.offers[0], c.firstOffer) << c.name;
    if (!c.layerStarts.empty()) {
      EXPECT_EQ(t.layerStarts, c.layerStarts) << c.name;
    }
  }
  // A transport decoder takes the payload: nothing is offered under "ipv6".
  RecordingScripts scripts;
  DecodeTreeOf(PlainFrame(), &scripts, kAll);
  EXPECT_EQ(scripts.offers, (std::vector<std::string>{"udp@62"}));
}

// `count` destination options headers of eight bytes, the last one naming UDP.
Bytes OptionsChain(int count) {
  Bytes out;
  for (int i = 0; i < count; ++i) {
    out.push_back(i + 1 == count ? 17 : 60);
    const Bytes rest = Hex("00 0104 00000000");
    out.insert(out.end(), rest.begin(), rest.end());
  }
  return out;
}

TEST(Ipv6, ChainLongerThanTheLimitEndsWithALine) {
  {
    const Bytes frame = OnEthernet(Ipv6Packet(60, Cat({OptionsChain(kMaxExtensionHeaders), kUdp})));
    const TreeDecode t = DecodeTreeOf(frame, nullptr, kAll);
    EXPECT_NE(t.text.find("\nUDP [182,190)\n"), std::string::npos) << t.text;
    EXPECT_EQ(RunSummary(frame).row.ProtocolsText(), "IPv6 UDP ");
  }
  const Bytes frame = OnEthernet(Ipv6Packet(60, Cat({OptionsChain(kMaxExtensionHeaders + 1), kUdp})));
  const TreeDecode t = DecodeTreeOf(frame, nullptr, kAll);
  EXPECT_NE(t.text.find("  Destination options [174,182)\n"), std::string::npos) << t.text;
  EXPECT_EQ(t.text.find("  Destination options [182,190)\n"), std::string::npos) << t.text;
  EXPECT_NE(t.text.find("  Extension headers: more than 16, the rest is not decoded\n"), std::string::npos) << t.text;
  EXPECT_EQ(t.text.find("UDP"), std::string::npos) << t.text;
  EXPECT_NE(t.text.find("IPv6 [14,182)\n"), std::string::npos) << t.text;
  EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{14, 182}));
  const SummaryRun s = RunSummary(frame);
  EXPECT_EQ(s.row.ProtocolsText(), "IPv6 ");
  EXPECT_FALSE(s.row.hasSrcPort);
}

TEST(Ipv6, PayloadLengthBoundsNothing) {
  // Zero, with a jumbo payload option: the chain and UDP are decoded.
  const Bytes jumbo = Hex("1100 c204 00000014");
  const Bytes zero = OnEthernet(Ipv6Packet(0, Cat({jumbo, kUdp}), 0, 0, kSrc, kDst, 0));
  // Larger than what was captured, and smaller.
  const Bytes large = OnEthernet(Ipv6Packet(17, kUdp, 0, 0, kSrc, kDst, 0xFFFF));
  const Bytes small = OnEthernet(Ipv6Packet(17, kUdp, 0, 0, kSrc, kDst, 2));
  for (const Bytes& frame : {zero, large, small}) {
    const TreeDecode t = DecodeTreeOf(frame, nullptr, kAll);
    EXPECT_TRUE(RangesWithin(t.tree, static_cast<std::uint32_t>(frame.size())));
    EXPECT_NE(t.text.find("  Destination port: 2000 (0x07d0)"), std::string::npos) << t.text;
    const SummaryRun s = RunSummary(frame);
    EXPECT_EQ(s.row.DstPortText(), "2000");
    ASSERT_EQ(s.sink.samples.size(), 1u);
  }
  EXPECT_EQ(RunSummary(zero).sink.samples[0].totalLength, 40u);
  EXPECT_EQ(RunSummary(large).sink.samples[0].totalLength, 65575u);
  EXPECT_EQ(FieldValue(DecodeTreeOf(zero, nullptr, kAll).tree, zero, "ipv6.opt.jumbo"), "20");
}

TEST(Ipv6, QuotedHeaderNeverWritesTheRow) {
  const Bytes packet = Ipv6Packet(17, kUdp);
  DecodeTree tree;
  PacketSummary row;
  PacketDecoder d(packet, {kLinkTypeRaw, nullptr, nullptr, kAll}, &tree, DecodeMode::Tree, nullptr, &row);
  d.flags |= QuotedDatagram;
  DecodeIpv6(d);
  EXPECT_FALSE(row.hasSrcIp || row.hasDstIp || row.ipv6);
  EXPECT_NE(tree.ToText().find("  Source address: 2001:db8::1 [8,24)\n"), std::string::npos) << tree.ToText();
}

struct LinkCase {
  const char* name;
  int linkType;
  Bytes header;  // before the IPv6 header
};

std::vector<LinkCase> LinkCases() {
  return {
      {"Ethernet", kLinkTypeEthernet, FrameBuilder().Ethernet(kDstMac, kSrcMac, 0x86DD).Build()},
      {"Linux cooked", kLinkTypeLinuxSll, Hex("0000 0001 0006 001b213a4f010000 86dd")},
      {"Linux cooked v2", kLinkTypeLinuxSll2, Hex("86dd 0000 00000002 0001 00 06 001b213a4f010000")},
      {"raw IP", kLinkTypeRaw, {}},
      {"raw IP (OpenBSD)", kLinkTypeRawBsdOs, {}},
      {"loopback, BSD family 24", kLinkTypeNull, Hex("18000000")},
      {"loopback, FreeBSD family 28", kLinkTypeNull, Hex("1c000000")},
      {"loopback, macOS family 30", kLinkTypeLoop, Hex("0000001e")},
  };
}

TEST(Ipv6, EveryLinkLayerThatCarriesIpv6) {
  for (const LinkCase& c : LinkCases()) {
    const Bytes frame = Cat({c.header, Ipv6Packet(17, kUdp)});
    const auto h = static_cast<std::uint32_t>(c.header.size());
    const TreeDecode t = DecodeTreeOf(frame, nullptr, kAll, c.linkType);
    const std::string line = "IPv6 [" + std::to_string(h) + "," + std::to_string(h + 40) + ")\n";
    EXPECT_NE(t.text.find(line), std::string::npos) << c.name << "\n" << t.text;
    EXPECT_EQ(FieldValue(t.tree, frame, "ipv6.dst"), "2001:db8::2") << c.name;
    const SummaryRun s = RunSummary(frame, c.linkType);
    EXPECT_EQ(s.row.ProtocolsText(), "IPv6 UDP ") << c.name;
    EXPECT_EQ(s.row.SrcIpText(), "2001:db8::1") << c.name;
    EXPECT_EQ(s.row.DstPortText(), "2000") << c.name;
  }
}

TEST(Ipv6, EveryPrefixDecodesWithinTheCapturedBytes) {
  std::vector<std::pair<int, Bytes>> frames = {
      {kLinkTypeEthernet, PlainFrame()},
      {kLinkTypeEthernet, ChainFrame()},
      {kLinkTypeEthernet, AhFrame()},
      {kLinkTypeEthernet, EspFrame()},
      {kLinkTypeEthernet, LaterFragmentFrame()},
      {kLinkTypeEthernet, SixInFourFrame()},
      {kLinkTypeEthernet, SixInSixFrame()},
      {kLinkTypeEthernet, OnEthernet(Ipv6Packet(60, Cat({Hex("3b01 00 0401 04 c204 00010000 1e02 aabb")})))},
      {kLinkTypeEthernet, OnEthernet(Ipv6Packet(43, Hex("3b04 0401 01 00 1234 20010db800000000000000000000000a "
                                                        "20010db800000000000000000000000b")))},
      {kLinkTypeEthernet, OnEthernet(Ipv6Packet(51, Cat({Hex("3c04 0000 00001000 00000001 0102030405060708090a0b0c"),
                                                         Hex("1100 0104 00000000"), kUdp})))},
  };
  for (const LinkCase& c : LinkCases()) {
    frames.push_back({c.linkType, Cat({c.header, Ipv6Packet(0, Cat({kHopByHop, kRoutingType0, kFirstFragment, kUdp}))})});
  }
  for (std::size_t i = 0; i < frames.size(); ++i) {
    const Bytes& whole = frames[i].second;
    for (std::size_t cut = 0; cut <= whole.size(); ++cut) {
      SCOPED_TRACE("frame " + std::to_string(i) + " cut at " + std::to_string(cut));
      // Exactly the captured bytes, so that the sanitizers see any read beyond them.
      const Bytes frame(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
      const auto len = static_cast<std::uint32_t>(cut);
      const TreeDecode t = DecodeTreeOf(frame, nullptr, kAll, frames[i].first);
      EXPECT_TRUE(RangesWithin(t.tree, len)) << t.text;
      EXPECT_TRUE(std::is_sorted(t.layerStarts.begin(), t.layerStarts.end()));
      for (const std::int32_t start : t.layerStarts) EXPECT_LE(static_cast<std::uint32_t>(start), len);
      const SummaryRun s = RunSummary(frame, frames[i].first);
      if (s.row.hasDstPort) {
        EXPECT_TRUE(s.row.hasSrcIp && s.row.hasDstIp);
      }
    }
  }
}

// --- real captures ---

namespace fs = std::filesystem;

struct CorpusFrame {
  Bytes bytes;
  int linkType;
};

std::vector<CorpusFrame> ReadCorpus(const std::string& name) {
  std::vector<CorpusFrame> frames;
  char errbuf[PCAP_ERRBUF_SIZE] = {};
  pcap_t* handle = pcap_open_offline((fs::path(QUORVANET_CORPUS_DIR) / name).c_str(), errbuf);
  if (handle == nullptr) return frames;
  const int linkType = pcap_datalink(handle);
  pcap_pkthdr* header = nullptr;
  const u_char* data = nullptr;
  while (pcap_next_ex(handle, &header, &data) == 1) {
    frames.push_back({Bytes(data, data + header->caplen), linkType});
  }
  pcap_close(handle);
  return frames;
}

const char* const kIpv6Captures[] = {
    "icmpv6.pcap",         "ipv6-routing-header.pcap", "icmpv6-rfc7112.pcap",
    "dhcpv6-ia-na.pcap",   "gso-ipv6.pcap",            "linktypes/LINKTYPE_RAW_ipv6.pcap",
};

std::uint16_t Be16(const Bytes& b, std::size_t at) { return static_cast<std::uint16_t>(b[at] << 8 | b[at + 1]); }

TEST(Ipv6, CorpusRowsMatchTheHeaders) {
  if (!fs::is_directory(QUORVANET_CORPUS_DIR)) GTEST_SKIP() << "no capture corpus";
  std::size_t checked = 0;
  for (const char* name : kIpv6Captures) {
    const std::vector<CorpusFrame> frames = ReadCorpus(name);
    EXPECT_FALSE(frames.empty()) << name;
    for (std::size_t i = 0; i < frames.size(); ++i) {
      SCOPED_TRACE(std::string(name) + " frame " + std::to_string(i + 1));
      const Bytes& b = frames[i].bytes;
      const TreeDecode t = DecodeTreeOf(b, nullptr, kAll, frames[i].linkType);
      EXPECT_TRUE(RangesWithin(t.tree, static_cast<std::uint32_t>(b.size())));
      const SummaryRun s = RunSummary(b, frames[i].linkType);

      const std::size_t h = frames[i].linkType == kLinkTypeEthernet ? 14 : 0;
      ASSERT_GE(b.size(), h + 40);
      ASSERT_EQ(b[h] >> 4, 6);
      ASSERT_TRUE(s.row.ipv6 && s.row.hasSrcIp && s.row.hasDstIp);
      EXPECT_TRUE(std::equal(s.row.srcIp.begin(), s.row.srcIp.end(), b.begin() + h + 8)) << s.row.SrcIpText();
      EXPECT_TRUE(std::equal(s.row.dstIp.begin(), s.row.dstIp.end(), b.begin() + h + 24)) << s.row.DstIpText();
      // The options and routing headers these captures carry, walked by hand.
      std::uint8_t next = b[h + 6];
      std::size_t at = h + 40;
      while ((next == 0 || next == 43 || next == 60) && at + 2 <= b.size()) {
        next = b[at];
        at += (b[at + 1] + 1u) * 8;
      }
      if ((next == 6 || next == 17) && at + 4 <= b.size()) {
        EXPECT_EQ(s.row.srcPort, Be16(b, at));
        EXPECT_EQ(s.row.dstPort, Be16(b, at + 2));
        ASSERT_EQ(s.sink.samples.size(), 1u);
        EXPECT_EQ(s.sink.samples[0].totalLength, Be16(b, h + 4) + 40u);
        ++checked;
      }
    }
  }
  EXPECT_GE(checked, 8u);
}

// Values that tshark reads from the same frames.
TEST(Ipv6, CorpusFieldsMatchTshark) {
  if (!fs::is_directory(QUORVANET_CORPUS_DIR)) GTEST_SKIP() << "no capture corpus";
  struct Case {
    const char* file;
    std::size_t frame;  // from 1
    const char* field;
    const char* value;
  };
  const Case cases[] = {
      {"icmpv6.pcap", 2, "ipv6.plen", "36"},
      {"icmpv6.pcap", 2, "ipv6.hlim", "1"},
      {"icmpv6.pcap", 2, "ipv6.hopopts.nxt", "58"},
      {"icmpv6.pcap", 2, "ipv6.opt.router_alert", "0"},
      {"ipv6-routing-header.pcap", 2, "ipv6.routing.nxt", "58"},
      {"ipv6-routing-header.pcap", 2, "ipv6.routing.len", "4"},
      {"ipv6-routing-header.pcap", 2, "ipv6.routing.segleft", "2"},
      {"ipv6-routing-header.pcap", 2, "ipv6.routing.src.addr", "2200::210:2:0:0:4"},
      {"dhcpv6-ia-na.pcap", 1, "ipv6.tclass", "0x000000c0"},
      {"dhcpv6-ia-na.pcap", 1, "ipv6.tclass.dscp", "48"},
      {"dhcpv6-ia-na.pcap", 1, "ipv6.src", "fe80::201:2ff:fe03:405"},
      {"gso-ipv6.pcap", 1, "ipv6.flow", "0x06e481"},
      {"gso-ipv6.pcap", 1, "ipv6.plen", "7172"},
      {"gso-ipv6.pcap", 1, "ipv6.nxt", "6"},
      {"icmpv6-rfc7112.pcap", 1, "ipv6.src", "2001:630:42:110:2a0:98ff:fe15:ece7"},
      {"linktypes/LINKTYPE_RAW_ipv6.pcap", 1, "ipv6.dst", "2620:fe::9"},
      {"linktypes/LINKTYPE_RAW_ipv6.pcap", 1, "ipv6.plen", "37"},
  };
  for (const Case& c : cases) {
    const std::vector<CorpusFrame> frames = ReadCorpus(c.file);
    ASSERT_GE(frames.size(), c.frame) << c.file;
    const CorpusFrame& f = frames[c.frame - 1];
    const TreeDecode t = DecodeTreeOf(f.bytes, nullptr, kAll, f.linkType);
    EXPECT_EQ(FieldValue(t.tree, f.bytes, c.field), c.value) << c.file << " " << c.field;
  }
  // The ports of the GSO frame's TCP header, as tshark reads them.
  const std::vector<CorpusFrame> gso = ReadCorpus("gso-ipv6.pcap");
  ASSERT_EQ(gso.size(), 1u);
  const SummaryRun s = RunSummary(gso[0].bytes);
  EXPECT_EQ(s.row.SrcPortText(), "36539");
  EXPECT_EQ(s.row.DstPortText(), "45393");
  EXPECT_EQ(s.row.ProtocolsText(), "IPv6 TCP ");
}

}  // namespace
}  // namespace qv
