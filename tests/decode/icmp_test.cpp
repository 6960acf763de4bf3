#include "decode/icmp.h"

#include <gtest/gtest.h>

#include <string>

#include "decode_helpers.h"

namespace qv {
namespace {

using namespace qv::testing;

constexpr std::uint32_t kIcmp = 34;  // after Ethernet II and a 20-byte IPv4 header

const framegen::Mac kRouter{0x00, 0x1b, 0x21, 0x3a, 0x4f, 0x01};
const framegen::Mac kHost{0x00, 0xa0, 0xc9, 0x14, 0xc8, 0x29};
const framegen::Ip4 kRouterIp{10, 0, 0, 1};
const framegen::Ip4 kHostIp{10, 0, 0, 2};

// An ICMP message in IPv4 in Ethernet II, not padded: the capture ends with
// the message.
Bytes IcmpFrame(const Bytes& message) {
  return FrameBuilder().Ethernet(kHost, kRouter, 0x0800).Ipv4(kRouterIp, kHostIp, 1).Raw(message).Build();
}

struct IcmpRun {
  TreeDecode tree;
  std::uint32_t flagsAfter = 0;
};

// The ICMP decoder alone, on the message at `at` of a whole frame, so the
// ranges are those of the frame.
IcmpRun DecodeAt(std::span<const std::uint8_t> frame, std::uint32_t at = kIcmp) {
  IcmpRun out;
  PacketDecoder d(frame, {}, &out.tree.tree, DecodeMode::Tree, &out.tree.layerStarts, nullptr);
  d.offset = at;
  DecodeIcmp(d);
  out.tree.text = out.tree.tree.ToText();
  out.flagsAfter = d.flags;
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

TEST(Icmp, EchoRequestWithDataSpansTheRestOfTheFrame) {
  Bytes message = Hex("08 00 f7 ff 12 34 00 01");
  message.resize(message.size() + 32, 0x61);
  const Bytes frame = IcmpFrame(message);
  ASSERT_EQ(frame.size(), 74u);
  const IcmpRun r = DecodeAt(frame);
  EXPECT_EQ(r.tree.text,
            "ICMP [34,74)\n"
            "  Type: 8 (0x08): Echo request [34,35)\n"
            "  Code: 0, (0x00) [35,36)\n"
            "  Checksum: 63487 (0xf7ff) [36,38)\n"
            "  Identifier: 4660 (0x1234) [38,40)\n"
            "  Sequence number: 1 (0x0001) [40,42)\n"
            "  Additional data - 32 bytes long [42,74)\n");
  EXPECT_EQ(r.tree.layerStarts, (std::vector<std::int32_t>{34}));  // never marks anything unsupported
}

TEST(Icmp, EchoReplyWithoutDataHasNoDataLine) {
  const IcmpRun r = DecodeAt(IcmpFrame(Hex("00 00 ff ff 00 07 01 00")));
  EXPECT_EQ(r.tree.text,
            "ICMP [34,42)\n"
            "  Type: 0 (0x00): Echo reply [34,35)\n"
            "  Code: 0, (0x00) [35,36)\n"
            "  Checksum: 65535 (0xffff) [36,38)\n"
            "  Identifier: 7 (0x0007) [38,40)\n"
            "  Sequence number: 256 (0x0100) [40,42)\n");
}

TEST(Icmp, TypeNamesAndLayerExtents) {
  struct Case {
    std::uint8_t type;
    const char* layer;
    const char* typeLine;
  };
  // 24 bytes of message in every frame: the capture ends at 58.
  const Case cases[] = {
      {0, "ICMP [34,58)", "Type: 0 (0x00): Echo reply"},
      {8, "ICMP [34,58)", "Type: 8 (0x08): Echo request"},
      {3, "ICMP [34,42)", "Type: 3 (0x03): Destination unreachable"},
      {4, "ICMP [34,42)", "Type: 4 (0x04): Source quench"},
      {5, "ICMP [34,42)", "Type: 5 (0x05): Redirect"},
      {11, "ICMP [34,42)", "Type: 11 (0x0b): Time exceeded"},
      {12, "ICMP [34,42)", "Type: 12 (0x0c): Parameter problem"},
      {9, "ICMP [34,42)", "Type: 9 (0x09): Router advertisement"},  // no entries
      {10, "ICMP [34,42)", "Type: 10 (0x0a): Router solicitation"},
      {13, "ICMP [34,54)", "Type: 13 (0x0d): Timestamp"},
      {14, "ICMP [34,54)", "Type: 14 (0x0e): Timestamp reply"},
      {17, "ICMP [34,46)", "Type: 17 (0x11): Address Mask Request"},
      {18, "ICMP [34,46)", "Type: 18 (0x12): Address Mask Reply"},
      {1, "ICMP [34,58)", "Type: 1 (0x01): Unknown type"},
      {40, "ICMP [34,58)", "Type: 40 (0x28): Unknown type"},
      {255, "ICMP [34,58)", "Type: 255 (0xff): Unknown type"},
  };
  for (const Case& c : cases) {
    Bytes message(24, 0);
    message[0] = c.type;
    const std::string text = FirstLayer(DecodeAt(IcmpFrame(message)).tree.text);
    EXPECT_TRUE(text.starts_with(std::string(c.layer) + "\n  " + c.typeLine + " [34,35)\n")) << text;
  }
}

TEST(Icmp, CodeDescriptions) {
  struct Case {
    std::uint8_t type;
    std::uint8_t code;
    const char* line;
  };
  const Case cases[] = {
      {3, 0, "Code: 0, (0x00): Net unreachable"},
      {3, 1, "Code: 1, (0x01): Host unreachable"},
      {3, 2, "Code: 2, (0x02): Protocol unreachable"},
      {3, 3, "Code: 3, (0x03): Port unreachable"},
      {3, 4, "Code: 4, (0x04): Fragmentation needed and DF set"},
      {3, 5, "Code: 5, (0x05): Source route failed"},
      {3, 6, "Code: 6, (0x06)"},
      {5, 0, "Code: 0, (0x00): Redirect datagrams for the network"},
      {5, 1, "Code: 1, (0x01): Redirect datagrams for the host"},
      {5, 2, "Code: 2, (0x02): Redirect datagrams for the type of service and network"},
      {5, 3, "Code: 3, (0x03): Redirect datagrams for the type of service and host"},
      {5, 4, "Code: 4, (0x04)"},
      {11, 0, "Code: 0, (0x00): Time to live exceeded in transit"},
      {11, 1, "Code: 1, (0x01): Fragment reassemble time exceeded"},
      {11, 7, "Code: 7, (0x07): Fragment reassemble time exceeded"},
      {12, 0, "Code: 0, (0x00): The IP header is invalid"},
      {12, 1, "Code: 1, (0x01): A required option is missing"},
      {12, 2, "Code: 2, (0x02)"},
      {9, 0, "Code: 0, (0x00): Normal router advertisement"},
      {9, 16, "Code: 16, (0x10): Does not route common traffic"},
      {9, 1, "Code: 1, (0x01)"},
      {0, 3, "Code: 3, (0x03)"},  // codes of other types have no words
      {40, 0, "Code: 0, (0x00)"},
  };
  for (const Case& c : cases) {
    const std::string text = DecodeAt(IcmpFrame({c.type, c.code, 0, 0, 0, 0, 0, 0})).tree.text;
    EXPECT_NE(text.find("\n  " + std::string(c.line) + " [35,36)\n"), std::string::npos) << text;
  }
}

TEST(Icmp, UnknownTypeShowsTypeCodeAndChecksumOnly) {
  const IcmpRun r = DecodeAt(IcmpFrame(Hex("28 00 d7 ff 01 02 03 04 05 06 07 08")));
  EXPECT_EQ(r.tree.text,
            "ICMP [34,46)\n"
            "  Type: 40 (0x28): Unknown type [34,35)\n"
            "  Code: 0, (0x00) [35,36)\n"
            "  Checksum: 55295 (0xd7ff) [36,38)\n");
}

TEST(Icmp, FixedLayoutsOfTheOtherTypes) {
  struct Case {
    const char* message;
    const char* text;
  };
  const Case cases[] = {
      {"05 01 00 00 c0 a8 00 fe",
       "ICMP [34,42)\n"
       "  Type: 5 (0x05): Redirect [34,35)\n"
       "  Code: 1, (0x01): Redirect datagrams for the host [35,36)\n"
       "  Checksum: 0 (0x0000) [36,38)\n"
       "  IP address: 192.168.0.254 (0x c0.a8.00.fe) [38,42)\n"},
      {"0c 00 00 00 14 00 00 00",
       "ICMP [34,42)\n"
       "  Type: 12 (0x0c): Parameter problem [34,35)\n"
       "  Code: 0, (0x00): The IP header is invalid [35,36)\n"
       "  Checksum: 0 (0x0000) [36,38)\n"
       "  Pointer: 20 (14) [38,39)\n"
       "  Unused [39,42)\n"},
      {"0a 00 f5 ff 00 00 00 00",
       "ICMP [34,42)\n"
       "  Type: 10 (0x0a): Router solicitation [34,35)\n"
       "  Code: 0, (0x00) [35,36)\n"
       "  Checksum: 62975 (0xf5ff) [36,38)\n"
       "  Unused [38,42)\n"},
      {"0e 00 00 00 00 2a 00 03 00 00 00 01 00 01 00 00 ff ff ff ff",
       "ICMP [34,54)\n"
       "  Type: 14 (0x0e): Timestamp reply [34,35)\n"
       "  Code: 0, (0x00) [35,36)\n"
       "  Checksum: 0 (0x0000) [36,38)\n"
       "  Identifier: 42 (0x002a) [38,40)\n"
       "  Sequence number: 3 (0x0003) [40,42)\n"
       "  Begining time: 1 (0x00000001) [42,46)\n"
       "  Response time: 65536 (0x00010000) [46,50)\n"
       "  Transmision time: 4294967295 (0xffffffff) [50,54)\n"},
      {"12 00 00 00 00 01 00 02 ff ff f0 00",
       "ICMP [34,46)\n"
       "  Type: 18 (0x12): Address Mask Reply [34,35)\n"
       "  Code: 0, (0x00) [35,36)\n"
       "  Checksum: 0 (0x0000) [36,38)\n"
       "  Identifier: 1 (0x0001) [38,40)\n"
       "  Sequence number: 2 (0x0002) [40,42)\n"
       "  Subnetwork mask: 255.255.240.0 (0x ff.ff.f0.00) [42,46)\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DecodeAt(IcmpFrame(Hex(c.message))).tree.text, c.text);
  }
}

TEST(Icmp, RouterAdvertisementEntries) {
  const IcmpRun r = DecodeAt(IcmpFrame(Hex("09 00 00 00 02 02 07 08  c0 a8 01 01 00 00 00 01  c0 a8 01 02 ff ff ff ff")));
  EXPECT_EQ(r.tree.text,
            "ICMP [34,58)\n"
            "  Type: 9 (0x09): Router advertisement [34,35)\n"
            "  Code: 0, (0x00): Normal router advertisement [35,36)\n"
            "  Checksum: 0 (0x0000) [36,38)\n"
            "  Advertisement count: 2 (0x02) [38,39)\n"
            "  Address Entry Size: 2 (0x02) [39,40)\n"
            "  Lifetime: 1800 (0x0708) [40,42)\n"
            "  IP address: 192.168.1.1 (0x c0.a8.01.01) [42,46)\n"
            "  IP address: 0.0.0.1 (0x 00.00.00.01) [46,50)\n"
            "  IP address: 192.168.1.2 (0x c0.a8.01.02) [50,54)\n"
            "  IP address: 255.255.255.255 (0x ff.ff.ff.ff) [54,58)\n");
}

// Count and entry size pointing far past the frame: the entries stop with the
// captured data and the layer line is cut there.
TEST(Icmp, RouterAdvertisementCountPastTheFrame) {
  const IcmpRun r = DecodeAt(IcmpFrame(Hex("09 00 00 00 ff 02 07 08  c0 a8 01 01 00 00 00 01  c0 a8 01 02 ff ff")));
  EXPECT_TRUE(r.tree.text.starts_with("ICMP [34,56)\n")) << r.tree.text;
  EXPECT_TRUE(r.tree.text.ends_with("  IP address: 0.0.0.1 (0x 00.00.00.01) [46,50)\n"
                                    "  IP address: 192.168.1.2 (0x c0.a8.01.02) [50,54)\n"))
      << r.tree.text;
  EXPECT_TRUE(RangesWithin(r.tree.tree, 56));
}

TEST(Icmp, PortUnreachableQuotingUdp) {
  const Bytes frame = FrameBuilder()
                          .Ethernet(kHost, kRouter, 0x0800)
                          .Ipv4(kRouterIp, kHostIp, 1)
                          .Raw(Hex("03 03 00 00 00 00 00 00"))
                          .Ipv4(kHostIp, {192, 168, 9, 9}, 17)
                          .Udp(40000, 53)
                          .Build();
  ASSERT_EQ(frame.size(), 70u);
  const TreeDecode t = DecodeTreeOf(frame);
  EXPECT_EQ(TopLevelTexts(t.tree), (std::vector<std::string>{"Ethernet II", "IPv4", "ICMP", "IPv4", "UDP"})) << t.text;
  EXPECT_NE(t.text.find("ICMP [34,42)\n"
                        "  Type: 3 (0x03): Destination unreachable [34,35)\n"
                        "  Code: 3, (0x03): Port unreachable [35,36)\n"
                        "  Checksum: 0 (0x0000) [36,38)\n"
                        "  Unused [38,42)\n"
                        "IPv4 [42,62)\n"),
            std::string::npos)
      << t.text;
  ASSERT_GE(t.layerStarts.size(), 4u);
  EXPECT_EQ(std::vector<std::int32_t>(t.layerStarts.begin(), t.layerStarts.begin() + 4),
            (std::vector<std::int32_t>{14, 34, 42, 62}));

  // The quoted datagram is no traffic of its own: the row, the counters and
  // the conversations see only the outer packet.
  const SummaryDecode s = DecodeSummaryOf(frame);
  EXPECT_EQ(s.row.ProtocolsText(), "IPv4 ICMP ");
  EXPECT_EQ(s.row.SrcIpText(), "10.0.0.1");
  EXPECT_EQ(s.row.DstIpText(), "10.0.0.2");
  EXPECT_EQ(s.row.SrcPortText(), "");
  EXPECT_EQ(s.sink.protocols, (std::vector<std::string>{"Ethernet II/1", "IPv4/2", "ICMP/2"}));
  EXPECT_TRUE(s.sink.samples.empty());

  // The quoting flag does not outlive the message.
  EXPECT_EQ(DecodeAt(frame).flagsAfter, 0u);
}

TEST(Icmp, TimeExceededQuotingTcpStopsAfterTheSequenceNumber) {
  const Bytes frame = FrameBuilder()
                          .Ethernet(kHost, kRouter, 0x0800)
                          .Ipv4(kRouterIp, kHostIp, 1)
                          .Raw(Hex("0b 00 00 00 00 00 00 00"))
                          .Ipv4(kHostIp, {192, 168, 9, 9}, 6)
                          .Tcp(40000, 80, 0x01020304, 0, 0x02)
                          .Build();
  const TreeDecode t = DecodeTreeOf(frame);
  EXPECT_EQ(TopLevelTexts(t.tree), (std::vector<std::string>{"Ethernet II", "IPv4", "ICMP", "IPv4", "TCP"})) << t.text;
  EXPECT_NE(t.text.find("  Code: 0, (0x00): Time to live exceeded in transit [35,36)\n"), std::string::npos)
      << t.text;
  EXPECT_TRUE(t.text.ends_with("TCP [62,70)\n"
                               "  Source port: 40000 (0x9c40) [62,64)\n"
                               "  Destination port: 80 (0x0050) [64,66)\n"
                               "  Sequence number: 16909060 (0x01020304) [66,70)\n"))
      << t.text;
  EXPECT_EQ(DecodeAt(frame).flagsAfter, 0u);
}

// From the capture suite (dhcp-rfc4388, frame 6): host unreachable quoting
// the echo request that could not be delivered.
TEST(Icmp, HostUnreachableFromCaptureQuotesIpAndEcho) {
  const Bytes frame = Hex(
      "a6824bc9a1a7 7483ef07d0a9 0800"
      "45c0004c9c6a00004001c6330a2801010a280203"
      "0301fcfe00000000"
      "45000030 61b44000 3f01bfcc 0a280203 0a1e0404"
      "0800b7db40240000 0000000000000000000000000000000000000000");
  ASSERT_EQ(frame.size(), 90u);
  const TreeDecode t = DecodeTreeOf(frame);
  EXPECT_EQ(TopLevelTexts(t.tree), (std::vector<std::string>{"Ethernet II", "IPv4", "ICMP", "IPv4", "ICMP"})) << t.text;
  EXPECT_NE(t.text.find("ICMP [34,42)\n"
                        "  Type: 3 (0x03): Destination unreachable [34,35)\n"
                        "  Code: 1, (0x01): Host unreachable [35,36)\n"
                        "  Checksum: 64766 (0xfcfe) [36,38)\n"
                        "  Unused [38,42)\n"),
            std::string::npos)
      << t.text;
  EXPECT_NE(t.text.find("Source address: 10.40.2.3 (0x 0a.28.02.03) [54,58)\n"), std::string::npos) << t.text;
  EXPECT_NE(t.text.find("Destination address: 10.30.4.4 (0x 0a.1e.04.04) [58,62)\n"), std::string::npos) << t.text;
  EXPECT_TRUE(t.text.ends_with("ICMP [62,90)\n"
                               "  Type: 8 (0x08): Echo request [62,63)\n"
                               "  Code: 0, (0x00) [63,64)\n"
                               "  Checksum: 47067 (0xb7db) [64,66)\n"
                               "  Identifier: 16420 (0x4024) [66,68)\n"
                               "  Sequence number: 0 (0x0000) [68,70)\n"
                               "  Additional data - 20 bytes long [70,90)\n"))
      << t.text;

  const SummaryDecode s = DecodeSummaryOf(frame);
  EXPECT_EQ(s.row.ProtocolsText(), "IPv4 ICMP ");
  EXPECT_EQ(s.row.SrcIpText(), "10.40.1.1");
  EXPECT_EQ(s.row.DstIpText(), "10.40.2.3");
}

// Every prefix of three messages, in both modes: nothing is read or shown
// beyond the prefix, and a cut message keeps exactly the field lines whose
// bytes were all captured.
TEST(Icmp, EveryPrefixStaysWithinTheCapturedBytes) {
  struct Case {
    Bytes frame;
    std::vector<std::uint32_t> fieldEnds;  // of the ICMP lines
  };
  const Case cases[] = {
      {FrameBuilder()
           .Ethernet(kHost, kRouter, 0x0800)
           .Ipv4(kRouterIp, kHostIp, 1)
           .Raw(Hex("03 03 00 00 00 00 00 00"))
           .Ipv4(kHostIp, {192, 168, 9, 9}, 17)
           .Udp(40000, 53)
           .Build(),
       {35, 36, 38, 42}},
      {IcmpFrame(Hex("09 00 00 00 02 02 07 08  c0 a8 01 01 00 00 00 01  c0 a8 01 02 ff ff ff ff")),
       {35, 36, 38, 39, 40, 42, 46, 50, 54, 58}},
      {IcmpFrame(Hex("0d 00 00 00 00 2a 00 03 00 00 00 01 00 01 00 00 ff ff ff ff")),
       {35, 36, 38, 40, 42, 46, 50, 54}},
  };
  for (const Case& c : cases) {
    for (std::size_t n = 0; n <= c.frame.size(); ++n) {
      const std::vector<std::uint8_t> prefix(c.frame.begin(), c.frame.begin() + static_cast<std::ptrdiff_t>(n));
      const std::uint32_t len = static_cast<std::uint32_t>(n);
      EXPECT_TRUE(RangesWithin(DecodeTreeOf(prefix).tree, len)) << n;
      const SummaryDecode s = DecodeSummaryOf(prefix);
      EXPECT_TRUE(s.sink.samples.empty()) << n;
      if (n <= kIcmp) continue;
      const IcmpRun r = DecodeAt(prefix);
      EXPECT_TRUE(RangesWithin(r.tree.tree, len)) << n;
      std::size_t expected = 0;
      for (std::uint32_t end : c.fieldEnds) expected += end <= len ? 1 : 0;
      EXPECT_EQ(r.tree.tree.Children(r.tree.tree.TopLevel().front()).size(), expected) << n << "\n" << r.tree.text;
      EXPECT_EQ(r.flagsAfter, 0u) << n;
    }
  }
}

}  // namespace
}  // namespace qv
