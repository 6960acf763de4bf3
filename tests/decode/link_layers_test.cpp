// The link layers of captures that do not start with an Ethernet header:
// Linux cooked captures (v1 and v2), raw IP and BSD loopback, and any other
// link type.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture/packet_row.h"
#include "decode/link_types.h"
#include "decode_helpers.h"

namespace qv {
namespace {

using namespace qv::testing;

const framegen::Ip4 kSrcIp{10, 1, 2, 3};
const framegen::Ip4 kDstIp{10, 9, 8, 7};

TreeDecode TreeAs(int linkType, std::span<const std::uint8_t> frame) {
  TreeDecode out;
  RecordingScripts scripts;
  PacketDecoder d(frame, {linkType, nullptr, &scripts, EnabledDecoders::Classic()}, &out.tree, DecodeMode::Tree, &out.layerStarts, nullptr);
  d.Decode();
  out.text = out.tree.ToText();
  // Only Ethernet frames are offered to the "eth" scripts.
  for (const std::string& offer : scripts.offers) EXPECT_NE(offer.rfind("eth@", 0), 0u) << offer;
  return out;
}

SummaryDecode SummaryAs(int linkType, std::span<const std::uint8_t> frame) {
  SummaryDecode out;
  PacketDecoder d(frame, {linkType, &out.sink, nullptr, EnabledDecoders::Classic()}, nullptr, DecodeMode::Summary, nullptr, &out.row);
  d.Decode();
  return out;
}

// IPv4 + UDP 5353 -> 53 with four bytes of payload.
Bytes UdpPacket() { return FrameBuilder().Ipv4(kSrcIp, kDstIp, 17).Udp(5353, 53).Text("abcd").Build(); }

Bytes Concat(const Bytes& a, const Bytes& b) {
  Bytes out = a;
  out.insert(out.end(), b.begin(), b.end());
  return out;
}

// Cooked v1: packet type, ARPHRD 1, address length 6, address (8 bytes), protocol.
Bytes CookedV1(std::uint16_t packetType, std::uint16_t protocol, std::uint16_t addressLength = 6) {
  Bytes b = Hex("0000 0001");
  b[0] = static_cast<std::uint8_t>(packetType >> 8);
  b[1] = static_cast<std::uint8_t>(packetType);
  b.push_back(static_cast<std::uint8_t>(addressLength >> 8));
  b.push_back(static_cast<std::uint8_t>(addressLength));
  const Bytes address = Hex("001b213a4f01 0000");
  b.insert(b.end(), address.begin(), address.end());
  b.push_back(static_cast<std::uint8_t>(protocol >> 8));
  b.push_back(static_cast<std::uint8_t>(protocol));
  return b;
}

TEST(LinuxCooked, V1HeaderThenTheNetworkDecoders) {
  const Bytes frame = Concat(CookedV1(4, 0x0800), UdpPacket());
  const TreeDecode t = TreeAs(kLinkTypeLinuxSll, frame);
  const std::string head =
      "Linux cooked capture [0,16)\n"
      "  Packet type: 4 (0x0004) - Sent by us [0,2)\n"
      "  ARPHRD type: 1 (0x0001) - Ethernet [2,4)\n"
      "  Address length: 6 (0x0006) [4,6)\n"
      "  Link-layer address: 00:1B:21:3A:4F:01 [6,12)\n"
      "  Protocol: 0x0800 - IPv4 [14,16)\n"
      "IPv4 [16,36)\n";
  EXPECT_EQ(t.text.substr(0, head.size()), head) << t.text;
  EXPECT_NE(t.text.find("\nUDP [36,44)\n"), std::string::npos) << t.text;
  // The cooked header is the first coloured segment, as the Ethernet header is.
  EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{16, 36, 44}));

  const SummaryDecode s = SummaryAs(kLinkTypeLinuxSll, frame);
  EXPECT_EQ(s.sink.protocols, (std::vector<std::string>{"Linux cooked/1", "IPv4/2", "UDP/3"}));
  EXPECT_EQ(s.row.ProtocolsText(), "IPv4 UDP ");
  EXPECT_EQ(s.row.SrcMacText(), "0:1b:21:3a:4f:1");
  EXPECT_EQ(s.row.SrcIpText(), "10.1.2.3");
  EXPECT_EQ(s.row.DstIpText(), "10.9.8.7");
  EXPECT_EQ(s.row.SrcPortText(), "5353");
  EXPECT_EQ(s.row.DstPortText(), "53");
  ASSERT_EQ(s.sink.samples.size(), 1u);
  EXPECT_EQ(s.sink.samples[0].destinationPort, 53);
}

TEST(LinuxCooked, V2HeaderLinesInTheirOrder) {
  // protocol IPv6, reserved, interface 3, ARPHRD 772, packet type 0, length 6, address.
  const Bytes frame = Concat(Hex("86dd 0000 00000003 0304 00 06 020000000001 0000"), FrameBuilder().Ipv6(17).Build());
  const TreeDecode t = TreeAs(kLinkTypeLinuxSll2, frame);
  EXPECT_EQ(t.text,
            "Linux cooked capture v2 [0,20)\n"
            "  Protocol: 0x86dd - IPv6 [0,2)\n"
            "  Interface index: 3 (0x00000003) [4,8)\n"
            "  ARPHRD type: 772 (0x0304) - Loopback [8,10)\n"
            "  Packet type: 0 (0x00) - To us [10,11)\n"
            "  Address length: 6 (0x06) [11,12)\n"
            "  Link-layer address: 02:00:00:00:00:01 [12,18)\n"
            "IPv6\n");
  EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{20}));
  const SummaryDecode s = SummaryAs(kLinkTypeLinuxSll2, frame);
  EXPECT_EQ(s.sink.protocols, (std::vector<std::string>{"Linux cooked/1", "IPv6/2"}));
  EXPECT_EQ(s.row.SrcMacText(), "2:0:0:0:0:1");
}

TEST(LinuxCooked, PacketTypeAddressAndProtocolChoices) {
  struct Case {
    std::uint16_t packetType;
    std::uint16_t addressLength;
    std::uint16_t protocol;
    Bytes payload;
    const char* packetTypeLine;
    const char* destColumn;  // Dest MAC column text
    const char* srcMac;
    const char* protocolLine;
    const char* protocols;   // the row's chain
    std::vector<std::int32_t> layerStarts;
  };
  const Bytes arp = FrameBuilder().Arp(1, {0, 1, 2, 3, 4, 5}, kSrcIp, {}, kDstIp).Build();
  const Bytes llc = Hex("f0f0 03 0000");
  const Case cases[] = {
      {0, 6, 0x0800, UdpPacket(), "Packet type: 0 (0x0000) - To us", "", "0:1b:21:3a:4f:1", "Protocol: 0x0800 - IPv4",
       "IPv4 UDP ", {16, 36, 44}},
      {1, 6, 0x0806, arp, "Packet type: 1 (0x0001) - Broadcast", "Broadcast", "0:1b:21:3a:4f:1",
       "Protocol: 0x0806 - ARP", "ARP ", {16, 44}},
      {2, 6, 0x0800, UdpPacket(), "Packet type: 2 (0x0002) - Multicast", "Multicast", "0:1b:21:3a:4f:1",
       "Protocol: 0x0800 - IPv4", "IPv4 UDP ", {16, 36, 44}},
      {3, 0, 0x0004, llc, "Packet type: 3 (0x0003) - To another host", "", "", "Protocol: 0x0004 - IEEE 802.2 LLC",
       "LLC NetBIOS ", {16}},
      {9, 4, 0x88cc, Hex("00000000"), "Packet type: 9 (0x0009)", "", "", "Protocol: 0x88cc", "", {16, 16}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.packetTypeLine);
    const Bytes frame = Concat(CookedV1(c.packetType, c.protocol, c.addressLength), c.payload);
    const TreeDecode t = TreeAs(kLinkTypeLinuxSll, frame);
    EXPECT_NE(t.text.find(std::string("  ") + c.packetTypeLine + " [0,2)\n"), std::string::npos) << t.text;
    EXPECT_NE(t.text.find(std::string("  ") + c.protocolLine + " [14,16)\n"), std::string::npos) << t.text;
    if (c.layerStarts.size() > 1 || c.protocol == 0x0004) {
      EXPECT_EQ(t.layerStarts.front(), 16);
    }
    if (c.protocol != 0x0004) {
      EXPECT_EQ(t.layerStarts, c.layerStarts);
    }
    const SummaryDecode s = SummaryAs(kLinkTypeLinuxSll, frame);
    EXPECT_EQ(DestMacColumnText(s.row), c.destColumn);
    EXPECT_EQ(s.row.SrcMacText(), c.srcMac);
    EXPECT_EQ(s.row.ProtocolsText(), c.protocols);
  }
  // An address of no bytes still covers the 8-byte field in the tree; one of
  // four bytes shows just those.
  EXPECT_NE(TreeAs(kLinkTypeLinuxSll, Concat(CookedV1(3, 0x0800, 0), UdpPacket()))
                .text.find("  Link-layer address: none [6,14)\n"),
            std::string::npos);
  EXPECT_NE(TreeAs(kLinkTypeLinuxSll, Concat(CookedV1(3, 0x0800, 4), UdpPacket()))
                .text.find("  Link-layer address: 00:1B:21:3A [6,10)\n"),
            std::string::npos);
}

TEST(RawIp, VersionNibbleChoosesTheNetworkDecoder) {
  struct Case {
    int linkType;
    Bytes frame;
    const char* text;  // the tree's first lines
    const char* protocols;
    std::vector<std::int32_t> layerStarts;
  };
  const Case cases[] = {
      {kLinkTypeRaw, UdpPacket(), "Raw IP\n  IP version: 4 - IPv4 [0,1)\nIPv4 [0,20)\n", "IPv4 UDP ", {0, 20, 28}},
      {kLinkTypeRawBsdOs, UdpPacket(), "Raw IP\n  IP version: 4 - IPv4 [0,1)\nIPv4 [0,20)\n", "IPv4 UDP ",
       {0, 20, 28}},
      {kLinkTypeRawBsd, FrameBuilder().Ipv6(6).Build(), "Raw IP\n  IP version: 6 - IPv6 [0,1)\nIPv6\n", "", {0}},
      {kLinkTypeRaw, Hex("50 00 00 00"), "Raw IP\n  IP version: 5 [0,1)\n", "", {0}},
      // The IPv4 link type carries IPv4 whatever the nibble says.
      {kLinkTypeIpv4, Hex("65 00 00 14"), "Raw IP\n  IP version: 6 - IPv4 [0,1)\nIPv4 [0,4)\n", "IPv4 ", {0, 4}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const TreeDecode t = TreeAs(c.linkType, c.frame);
    EXPECT_EQ(t.text.substr(0, std::string(c.text).size()), c.text) << t.text;
    EXPECT_EQ(t.layerStarts, c.layerStarts);
    const SummaryDecode s = SummaryAs(c.linkType, c.frame);
    EXPECT_EQ(s.row.ProtocolsText(), c.protocols);
    EXPECT_EQ(s.sink.protocols.front(), "Raw IP/1");
    // No link-layer addresses: both MAC columns stay empty.
    EXPECT_EQ(s.row.SrcMacText(), "");
    EXPECT_EQ(DestMacColumnText(s.row), "");
  }
}

TEST(BsdLoopback, AddressFamilyInEitherByteOrder) {
  struct Case {
    int linkType;
    const char* family;
    const char* line;
    const char* protocols;
    std::vector<std::int32_t> layerStarts;
  };
  const Case cases[] = {
      {kLinkTypeNull, "02000000", "  Address family: 2 (0x00000002) - IPv4 [0,4)\n", "IPv4 UDP ", {4, 24, 32}},
      // Written on a big-endian machine.
      {kLinkTypeNull, "00000002", "  Address family: 2 (0x00000002) - IPv4 [0,4)\n", "IPv4 UDP ", {4, 24, 32}},
      {kLinkTypeLoop, "00000002", "  Address family: 2 (0x00000002) - IPv4 [0,4)\n", "IPv4 UDP ", {4, 24, 32}},
      {kLinkTypeNull, "1e000000", "  Address family: 30 (0x0000001e) - IPv6 (macOS) [0,4)\n", "", {4}},
      {kLinkTypeLoop, "00000007", "  Address family: 7 (0x00000007) [0,4)\n", "", {4, 4}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const Bytes frame = Concat(Hex(c.family), UdpPacket());
    const TreeDecode t = TreeAs(c.linkType, frame);
    EXPECT_EQ(t.text.substr(0, 19), "BSD loopback [0,4)\n") << t.text;
    EXPECT_NE(t.text.find(c.line), std::string::npos) << t.text;
    EXPECT_EQ(t.layerStarts, c.layerStarts);
    const SummaryDecode s = SummaryAs(c.linkType, frame);
    EXPECT_EQ(s.row.ProtocolsText(), c.protocols);
    EXPECT_EQ(s.sink.protocols.front(), "Loopback/1");
  }
}

TEST(OtherLinkType, OneLineNamingItAndTheBytesUnsupported) {
  const Bytes frame = Hex("0102030405060708");
  const TreeDecode t = TreeAs(105, frame);
  EXPECT_EQ(t.text, "Link type 105 (" + LinkTypeDescription(105) + ") [0,8)\n");
  EXPECT_NE(LinkTypeDescription(105), "unknown");
  EXPECT_EQ(LinkTypeDescription(-7), "unknown");
  EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{0}));
  const SummaryDecode s = SummaryAs(105, frame);
  EXPECT_TRUE(s.sink.protocols.empty());
  EXPECT_EQ(s.row.ProtocolsText(), "");
  // Even an empty frame gets its line.
  EXPECT_EQ(TreeAs(4242, {}).tree.LineCount(), 1u);
}

TEST(LinkLayers, EveryPrefixStaysInsideTheCapturedBytes) {
  struct Case {
    int linkType;
    Bytes frame;
  };
  const Bytes tcp = FrameBuilder().Ipv4(kSrcIp, kDstIp, 6).Tcp(1025, 80, 1, 0, 0x18).Text("xy").Build();
  const Case cases[] = {
      {kLinkTypeLinuxSll, Concat(CookedV1(0, 0x0800), tcp)},
      {kLinkTypeLinuxSll, Concat(CookedV1(1, 0x0004), Hex("aaaa03 000000 8137 ffff"))},
      {kLinkTypeLinuxSll2, Concat(Hex("0800 0000 00000002 0001 02 06 001b213a4f01 0000"), UdpPacket())},
      {kLinkTypeRaw, tcp},
      {kLinkTypeIpv4, UdpPacket()},
      {kLinkTypeNull, Concat(Hex("02000000"), tcp)},
      {kLinkTypeLoop, Concat(Hex("00000002"), UdpPacket())},
      {147, tcp},
  };
  for (const Case& c : cases) {
    for (std::size_t n = 0; n <= c.frame.size(); ++n) {
      SCOPED_TRACE("link type " + std::to_string(c.linkType) + ", " + std::to_string(n) + " bytes");
      // A heap copy of exactly n bytes, so the sanitizer sees any over-read.
      const std::vector<std::uint8_t> prefix(c.frame.begin(), c.frame.begin() + static_cast<std::ptrdiff_t>(n));
      const TreeDecode t = TreeAs(c.linkType, prefix);
      EXPECT_TRUE(RangesWithin(t.tree, static_cast<std::uint32_t>(n))) << t.text;
      EXPECT_FALSE(t.tree.Empty());
      for (const std::int32_t start : t.layerStarts) EXPECT_LE(start, static_cast<std::int32_t>(n));
      const SummaryDecode s = SummaryAs(c.linkType, prefix);
      // Addresses and ports appear only once their bytes were captured.
      if (s.row.hasSrcMac && c.linkType == kLinkTypeLinuxSll) {
        EXPECT_GE(n, 12u);
      }
      if (s.row.hasDstPort) {
        EXPECT_TRUE(s.row.dstPort == 80 || s.row.dstPort == 53);
      }
    }
  }
}

}  // namespace
}  // namespace qv
