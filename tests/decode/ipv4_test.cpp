#include "decode/ipv4.h"

#include <gtest/gtest.h>

#include "decode_helpers.h"

namespace qv {
namespace {

using namespace qv::testing;

const framegen::Mac kDst{0x00, 0xa0, 0xc9, 0x14, 0xc8, 0x29};
const framegen::Mac kSrc{0x00, 0x1b, 0x21, 0x3a, 0x4f, 0x01};
const framegen::Ip4 kSrcIp{192, 168, 1, 10};
const framegen::Ip4 kDstIp{10, 0, 0, 1};

constexpr std::uint8_t kGre = 47;  // no built-in decoder: the payload goes to the tail

// Summary mode, keeping the conversation sample the run leaves behind (no
// transport decoder runs for protocol 47, so nothing hands it over).
struct SummaryRun {
  PacketSummary row;
  RecordingSink sink;
  std::optional<IpConversationSample> sample;
};

SummaryRun RunSummary(std::span<const std::uint8_t> frame) {
  SummaryRun out;
  PacketDecoder d(frame, {kLinkTypeEthernet, &out.sink, nullptr, EnabledDecoders::Classic()}, nullptr, DecodeMode::Summary, nullptr, &out.row);
  d.Decode();
  out.sample = d.sample;
  return out;
}

// The text from the first line equal to `line` (indent included) to the end.
std::string From(const std::string& text, const std::string& line) {
  const std::size_t at = text.find(line);
  return at == std::string::npos ? std::string() : text.substr(at);
}

Bytes WithOptions(const Bytes& options, std::uint8_t protocol = kGre) {
  return FrameBuilder()
      .Ethernet(kDst, kSrc, 0x0800)
      .Ipv4(kSrcIp, kDstIp, protocol, options)
      .Raw(Hex("00 00 08 00 de ad be ef"))
      .Build();
}

TEST(Ipv4, PlainHeaderGoldenTreeAndRow) {
  const Bytes frame = FrameBuilder()
                          .Ethernet(kDst, kSrc, 0x0800)
                          .Ipv4(kSrcIp, kDstIp, kGre, {}, 0x00, 0x1234, 0x4000, 64)
                          .Raw(Hex("00 00 08 00 de ad be ef"))
                          .Build();
  const TreeDecode t = DecodeTreeOf(frame);
  EXPECT_EQ(t.text,
            "Ethernet II [0,14)\n"
            "  Destination MAC: 00:A0:C9:14:C8:29 [0,6)\n"
            "  Source MAC: 00:1B:21:3A:4F:01 [6,12)\n"
            "  Type: 0x0800 - IPv4 [12,14)\n"
            "IPv4 [14,34)\n"
            "  Version: 4 (0x4) [14,15)\n"
            "  Header size: 20 bytes [14,15)\n"
            "  Type of Service [15,16)\n"
            "    000----0: Routine [15,16)\n"
            "    ---0---0: Normal delay [15,16)\n"
            "    ----0--0: Normal throughput [15,16)\n"
            "    -----0-0: Normal reliability [15,16)\n"
            "    ------00: Minimize monetary cost [15,16)\n"
            "  Total Length: 28 (0x001c) bytes [16,18)\n"
            "  Identification: 4660 (0x1234) [18,20)\n"
            "  Flags [20,21)\n"
            "    01-: Don't fragment [20,21)\n"
            "    0-0: Last fragment [20,21)\n"
            "  Fragment offset: 0 (0x0000) bytes [20,22)\n"
            "  Time to live: 64 (0x40) [22,23)\n"
            "  Protocol: 47 (0x2f) [23,24)\n"
            "  Header checksum: 23756 (0x5ccc) [24,26)\n"
            "  Source address: 192.168.1.10 (0x c0.a8.01.0a) [26,30)\n"
            "  Destination address: 10.0.0.1 (0x 0a.00.00.01) [30,34)\n");
  // The IPv4 header, then the unclaimed payload from the tail.
  EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{14, 34}));

  const SummaryRun s = RunSummary(frame);
  EXPECT_EQ(s.row.SrcIpText(), "192.168.1.10");
  EXPECT_EQ(s.row.DstIpText(), "10.0.0.1");
  EXPECT_EQ(s.row.ProtocolsText(), "IPv4 ");
  EXPECT_EQ(s.sink.protocols, (std::vector<std::string>{"Ethernet II/1", "IPv4/2"}));
  ASSERT_TRUE(s.sample.has_value());
  EXPECT_EQ(s.sample->source, kSrcIp);
  EXPECT_EQ(s.sample->destination, kDstIp);
  EXPECT_EQ(s.sample->totalLength, 28u);
  EXPECT_TRUE(s.sink.samples.empty());
}

TEST(Ipv4, TypeOfServiceBitLines) {
  struct Case {
    std::uint8_t tos;
    const char* lines;
  };
  const Case cases[] = {
      {0xB8,
       "  Type of Service [15,16)\n"
       "    101----0: Critical [15,16)\n"
       "    ---1---0: Minimize delay [15,16)\n"
       "    ----1--0: Miximize throughput [15,16)\n"
       "    -----0-0: Normal reliability [15,16)\n"
       "    ------00: Minimize monetary cost [15,16)\n"},
      {0xFE,
       "  Type of Service [15,16)\n"
       "    111----0: Network control [15,16)\n"
       "    ---1---0: Minimize delay [15,16)\n"
       "    ----1--0: Miximize throughput [15,16)\n"
       "    -----1-0: Maximize reliability [15,16)\n"
       "    ------10: Minimize monetary cost [15,16)\n"},
  };
  for (const Case& c : cases) {
    const Bytes frame = FrameBuilder().Ethernet(kDst, kSrc, 0x0800).Ipv4(kSrcIp, kDstIp, kGre, {}, c.tos).Build();
    const std::string text = DecodeTreeOf(frame).text;
    EXPECT_NE(text.find(c.lines), std::string::npos) << text;
  }

  // The precedence is the top three bits, whatever the others hold.
  const char* const precedence[8] = {
      "000----0: Routine",
      "001----0: Priority",
      "010----0: Immediate",
      "011----0: Flash",
      "100----0: Flash override",
      "101----0: Critical",
      "110----0: Internetwork control",
      "111----0: Network control",
  };
  for (unsigned p = 0; p < 8; ++p) {
    const auto tos = static_cast<std::uint8_t>(p << 5 | 0x1E);
    const Bytes frame = FrameBuilder().Ethernet(kDst, kSrc, 0x0800).Ipv4(kSrcIp, kDstIp, kGre, {}, tos).Build();
    const std::string lines = std::string("  Type of Service [15,16)\n    ") + precedence[p] + " [15,16)\n";
    EXPECT_NE(DecodeTreeOf(frame).text.find(lines), std::string::npos) << p;
  }
}

TEST(Ipv4, FlagsAndFragmentOffset) {
  struct Case {
    std::uint16_t flagsFragment;
    const char* lines;
  };
  const Case cases[] = {
      {0x4000,
       "  Flags [20,21)\n"
       "    01-: Don't fragment [20,21)\n"
       "    0-0: Last fragment [20,21)\n"
       "  Fragment offset: 0 (0x0000) bytes [20,22)\n"},
      {0x20B9,
       "  Flags [20,21)\n"
       "    00-: May fragment [20,21)\n"
       "    0-1: More fragments [20,21)\n"
       "  Fragment offset: 1480 (0x05c8) bytes [20,22)\n"},
      // The offset field's top bits are the flags, not part of the offset.
      {0xFFFF,
       "  Flags [20,21)\n"
       "    01-: Don't fragment [20,21)\n"
       "    0-1: More fragments [20,21)\n"
       "  Fragment offset: 65528 (0xfff8) bytes [20,22)\n"},
  };
  for (const Case& c : cases) {
    const Bytes frame =
        FrameBuilder().Ethernet(kDst, kSrc, 0x0800).Ipv4(kSrcIp, kDstIp, kGre, {}, 0, 1, c.flagsFragment).Build();
    const std::string text = DecodeTreeOf(frame).text;
    EXPECT_NE(text.find(c.lines), std::string::npos) << text;
  }
}

TEST(Ipv4, ProtocolSuffixAndDispatch) {
  struct Case {
    std::uint8_t protocol;
    const char* line;
    const char* inner;  // counted by the inner decoder, or null
  };
  const Case cases[] = {
      {0, "  Protocol: 0 (0x00) [Reserved] [23,24)\n", nullptr}, {1, "  Protocol: 1 (0x01) [ICMP] [23,24)\n", "ICMP/2"},
      {2, "  Protocol: 2 (0x02) [IGMP] [23,24)\n", "IGMP/2"},    {6, "  Protocol: 6 (0x06) [TCP] [23,24)\n", "TCP/3"},
      {17, "  Protocol: 17 (0x11) [UDP] [23,24)\n", "UDP/3"},    {47, "  Protocol: 47 (0x2f) [23,24)\n", nullptr},
      {255, "  Protocol: 255 (0xff) [23,24)\n", nullptr},
  };
  for (const Case& c : cases) {
    // A later fragment (more fragments, offset 1480) still goes to its decoder.
    const Bytes frame = FrameBuilder()
                            .Ethernet(kDst, kSrc, 0x0800)
                            .Ipv4(kSrcIp, kDstIp, c.protocol, {}, 0, 7, 0x20B9)
                            .Zeros(40)
                            .Build();
    const TreeDecode t = DecodeTreeOf(frame);
    EXPECT_NE(t.text.find(c.line), std::string::npos) << t.text;
    ASSERT_GE(t.layerStarts.size(), 2u);
    EXPECT_EQ(t.layerStarts[1], 34) << int{c.protocol};

    const SummaryRun s = RunSummary(frame);
    std::vector<std::string> expected{"Ethernet II/1", "IPv4/2"};
    if (c.inner != nullptr) expected.push_back(c.inner);
    EXPECT_EQ(s.sink.protocols, expected) << int{c.protocol};
    if (c.inner == nullptr) {
      EXPECT_EQ(t.tree.TopLevel().size(), 2u) << t.text;
    }
  }
}

TEST(Ipv4, IpInIpGivesTwoLayersAndTheInnerAddresses) {
  const framegen::Ip4 innerSrc{172, 16, 0, 1};
  const framegen::Ip4 innerDst{172, 16, 0, 2};
  const Bytes frame = FrameBuilder()
                          .Ethernet(kDst, kSrc, 0x0800)
                          .Ipv4(kSrcIp, kDstIp, 4)
                          .Ipv4(innerSrc, innerDst, kGre)
                          .Raw(Hex("00 00 08 00 de ad be ef"))
                          .Build();
  const TreeDecode t = DecodeTreeOf(frame);
  const std::vector<NodeId> top = t.tree.TopLevel();
  ASSERT_EQ(top.size(), 3u) << t.text;
  EXPECT_EQ(t.tree[top[1]].text, "IPv4");
  EXPECT_EQ(t.tree[top[2]].text, "IPv4");
  EXPECT_EQ(t.tree[top[2]].start, 34u);
  EXPECT_EQ(t.tree[top[2]].end, 54u);
  EXPECT_NE(t.text.find("  Protocol: 4 (0x04) [IPv4] [23,24)\n"), std::string::npos) << t.text;
  EXPECT_NE(t.text.find("  Source address: 172.16.0.1 (0x ac.10.00.01) [46,50)\n"), std::string::npos) << t.text;
  // Only the inner header, which has no inner line after it, runs the tail.
  EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{14, 34, 54}));

  const SummaryRun s = RunSummary(frame);
  EXPECT_EQ(s.row.ProtocolsText(), "IPv4 IPv4 ");
  EXPECT_EQ(s.row.SrcIpText(), "172.16.0.1");
  EXPECT_EQ(s.row.DstIpText(), "172.16.0.2");
  EXPECT_EQ(s.sink.protocols, (std::vector<std::string>{"Ethernet II/1", "IPv4/2", "IPv4/2"}));
  ASSERT_TRUE(s.sample.has_value());
  EXPECT_EQ(s.sample->source, innerSrc);
  EXPECT_EQ(s.sample->totalLength, 28u);
}

TEST(Ipv4, HeaderLengthBelowTwentyIsNotFollowed) {
  // Protocol 4 with IHL 0 (and 4): following the "payload" would decode the
  // same header again and again.
  for (const char* first : {"40", "44"}) {
    const Bytes frame = FrameBuilder()
                            .Ethernet(kDst, kSrc, 0x0800)
                            .Raw(Hex(std::string(first) + "00 0028 0001 0000 4004 0000 c0a8010a 0a000001"))
                            .Zeros(20)
                            .Build();
    const TreeDecode t = DecodeTreeOf(frame);
    EXPECT_EQ(t.tree.TopLevel().size(), 2u) << t.text;
    EXPECT_NE(t.text.find("IPv4 [14,34)\n"), std::string::npos) << t.text;
    EXPECT_NE(t.text.find("  Protocol: 4 (0x04) [IPv4] [23,24)\n"), std::string::npos) << t.text;
    EXPECT_NE(t.text.find("  Destination address: 10.0.0.1 (0x 0a.00.00.01) [30,34)\n"), std::string::npos) << t.text;
    EXPECT_EQ(t.text.find("Opcje"), std::string::npos) << t.text;
    EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{14, 34}));

    const SummaryRun s = RunSummary(frame);
    EXPECT_EQ(s.row.ProtocolsText(), "IPv4 ");
    EXPECT_EQ(s.sink.protocols, (std::vector<std::string>{"Ethernet II/1", "IPv4/2"}));
  }
  EXPECT_NE(DecodeTreeOf(FrameBuilder()
                             .Ethernet(kDst, kSrc, 0x0800)
                             .Raw(Hex("40 00 0028 0001 0000 4004 0000 c0a8010a 0a000001"))
                             .Build())
                .text.find("  Header size: 0 bytes [14,15)\n"),
            std::string::npos);
}

TEST(Ipv4, OptionWalk) {
  struct Case {
    const char* name;
    const char* options;
    const char* lines;  // the "Opcje" line and everything below it
  };
  const Case cases[] = {
      {"no operation, then the end of the list", "01 01 01 00",
       "  Opcje [34,38)\n"
       "    No operation [34,35)\n"
       "    No operation [35,36)\n"
       "    No operation [36,37)\n"},
      {"timestamp, flag 1: one address and timestamp entry", "44 0c 0d 21  0a 00 00 01  00 00 03 e8",
       "  Opcje [34,46)\n"
       "    Timestamp [34,46)\n"
       "      Pointer: 13 (0x0d) [36,37)\n"
       "      Overflow: 2 (0x2) [37,38)\n"
       "      Flag: 1 (0x1) [37,38)\n"
       "      Timestamp 1: 1000 (0x000003e8), IP: 10.0.0.1 [38,46)\n"},
      {"timestamp, flag 0: timestamps only", "44 0c 05 00  00 00 00 01  00 00 00 02",
       "  Opcje [34,46)\n"
       "    Timestamp [34,46)\n"
       "      Pointer: 5 (0x05) [36,37)\n"
       "      Overflow: 0 (0x0) [37,38)\n"
       "      Flag: 0 (0x0) [37,38)\n"
       "      Timestamp 1: 1 (0x00000001) [38,42)\n"
       "      Timestamp 2: 2 (0x00000002) [42,46)\n"},
      {"timestamp, flag 3: prespecified addresses", "44 14 15 03  c0 a8 01 01  00 00 00 64  c0 a8 01 02  00 00 00 c8",
       "  Opcje [34,54)\n"
       "    Timestamp [34,54)\n"
       "      Pointer: 21 (0x15) [36,37)\n"
       "      Overflow: 0 (0x0) [37,38)\n"
       "      Flag: 3 (0x3) [37,38)\n"
       "      Timestamp 1: 100 (0x00000064), prespecified IP: 192.168.1.1 [38,46)\n"
       "      Timestamp 2: 200 (0x000000c8), prespecified IP: 192.168.1.2 [46,54)\n"},
      {"timestamp, any other flag: no entries", "44 08 05 02  00 00 00 01",
       "  Opcje [34,42)\n"
       "    Timestamp [34,42)\n"
       "      Pointer: 5 (0x05) [36,37)\n"
       "      Overflow: 0 (0x0) [37,38)\n"
       "      Flag: 2 (0x2) [37,38)\n"},
      {"security with a named level", "82 0b d7 88 00 01 00 02 00 00 03 00",
       "  Opcje [34,46)\n"
       "    Security [34,45)\n"
       "      Security: Secret [36,38)\n"
       "      Compartments: 1 (0x0001) [38,40)\n"
       "      Handling Restrictions: 2 (0x0002) [40,42)\n"
       "      Transmission Control Code: 3 (0x0003) [42,45)\n"},
      {"security is 11 bytes whatever its length byte says", "82 05 12 34 00 00 00 00 01 02 03 01",
       "  Opcje [34,46)\n"
       "    Security [34,45)\n"
       "      Security: (Reserved for future use) [36,38)\n"
       "      Compartments: 0 (0x0000) [38,40)\n"
       "      Handling Restrictions: 0 (0x0000) [40,42)\n"
       "      Transmission Control Code: 66051 (0x10203) [42,45)\n"
       "    No operation [45,46)\n"},
      {"an unknown kind covers the rest of the options", "01 07 03 04  00 00 00 00",
       "  Opcje [34,42)\n"
       "    No operation [34,35)\n"
       "    Nieobłsługiwana operacja [35,42)\n"},
      {"a zero-length timestamp ends the walk", "44 00 00 00",
       "  Opcje [34,38)\n"
       "    Nieobłsługiwana operacja [34,38)\n"},
      {"so does a timestamp of length 1", "01 44 01 00",
       "  Opcje [34,38)\n"
       "    No operation [34,35)\n"
       "    Nieobłsługiwana operacja [35,38)\n"},
  };
  for (const Case& c : cases) {
    const Bytes frame = WithOptions(Hex(c.options));
    const TreeDecode t = DecodeTreeOf(frame);
    EXPECT_EQ(From(t.text, "  Opcje"), c.lines) << c.name << "\n" << t.text;
    // The options are part of the header: the payload starts after them.
    const std::int32_t end = 34 + static_cast<std::int32_t>(Hex(c.options).size());
    EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{14, end})) << c.name;
  }

  // Security levels by value.
  const std::pair<const char*, const char*> levels[] = {
      {"0000", "Unclassified"}, {"f135", "Confidential"}, {"789a", "EFTO"},   {"bc4d", "MMMM"},
      {"5e26", "PROG"},         {"af13", "Restricted"},   {"d788", "Secret"}, {"6bc5", "Top Secret"},
  };
  for (const auto& [value, name] : levels) {
    const std::string text = DecodeTreeOf(WithOptions(Hex(std::string("82 0b ") + value + "0000 0000 000000 00"))).text;
    EXPECT_NE(text.find(std::string("      Security: ") + name + " [36,38)\n"), std::string::npos) << text;
  }
}

// Two real frames whose options are damaged and cut short by the snapshot
// length (tcpdump's ip_ts_opts_asan.pcap and ip_printroute_asan.pcap).
TEST(Ipv4, TruncatedRealFramesWithDamagedOptions) {
  {
    const Bytes frame =
        Hex("00 0c ff f9 00 ff c0 75 c0 8e 99 9d 08 00 49 e2 ff 27 00 20 e0 00 00 01 a0 9b 95 08 21 51 5f 12 53 e3"
            "44 0e 05 01 00 00 34 70 49 42 20 02 01 05 f5 13");
    const TreeDecode t = DecodeTreeOf(frame);
    // Timestamp length 14: the second entry lies beyond the captured bytes,
    // the next option (kind 0xf5) is not decoded.
    EXPECT_EQ(From(t.text, "  Opcje"),
              "  Opcje [34,50)\n"
              "    Timestamp [34,48)\n"
              "      Pointer: 5 (0x05) [36,37)\n"
              "      Overflow: 0 (0x0) [37,38)\n"
              "      Flag: 1 (0x1) [37,38)\n"
              "      Timestamp 1: 1229070338 (0x49422002), IP: 0.0.52.112 [38,46)\n"
              "    Nieobłsługiwana operacja [48,50)\n");
    EXPECT_NE(t.text.find("IPv4 [14,50)\n"), std::string::npos) << t.text;
    EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{14, 50}));
    const SummaryRun s = RunSummary(frame);
    EXPECT_EQ(s.row.SrcIpText(), "149.8.33.81");
    EXPECT_EQ(s.row.DstIpText(), "95.18.83.227");
    ASSERT_TRUE(s.sample.has_value());
    EXPECT_EQ(s.sample->totalLength, 65319u);
    // Protocol 1, but no byte of the ICMP message was captured (the header
    // claims 36 bytes, exactly what is left of the frame).
    EXPECT_EQ(s.sink.protocols, (std::vector<std::string>{"Ethernet II/1", "IPv4/2"}));
  }
  {
    const Bytes frame =
        Hex("a9 a9 9d 00 00 7f ff c1 80 00 00 00 08 00 4f 00 80 00 64 0f df f9 fe 11 8e 15 fb 49 56 00 00 ac 80 05"
            "83 19 0f 67 67 67 00 00 ac 00 74 00 10 24 24 10 00 24 02 0e 09 24 04 01 ef ff");
    const TreeDecode t = DecodeTreeOf(frame);
    // A loose source route (kind 0x83) is not decoded; the 60-byte header
    // goes past the 60 captured bytes of the frame.
    EXPECT_EQ(From(t.text, "  Opcje"),
              "  Opcje [34,60)\n"
              "    Nieobłsługiwana operacja [34,60)\n");
    EXPECT_NE(t.text.find("IPv4 [14,60)\n"), std::string::npos) << t.text;
    EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{14, 60}));
    const SummaryRun s = RunSummary(frame);
    EXPECT_EQ(s.row.SrcIpText(), "251.73.86.0");
    EXPECT_EQ(s.row.DstIpText(), "0.172.128.5");
    EXPECT_EQ(s.row.ProtocolsText(), "IPv4 ");
  }
}

TEST(Ipv4, EveryPrefixStaysWithinTheCapturedBytes) {
  // IP in IP, the outer header with a timestamp option, the inner one with a
  // security option, so each prefix cuts somewhere inside a field, an option
  // or an entry.
  const Bytes full = FrameBuilder()
                         .Ethernet(kDst, kSrc, 0x0800)
                         .Ipv4(kSrcIp, kDstIp, 4, Hex("01 44 0c 0d 21 0a 00 00 01 00 00 03 e8 00 00 00"))
                         .Ipv4({172, 16, 0, 1}, {172, 16, 0, 2}, kGre, Hex("82 0b d7 88 00 01 00 02 00 00 03 00"))
                         .Raw(Hex("00 00 08 00"))
                         .Build();
  const std::size_t inner = 14 + 36;
  for (std::size_t n = 0; n <= full.size(); ++n) {
    // A heap copy of exactly n bytes, so the sanitizer sees any over-read.
    const std::vector<std::uint8_t> prefix(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
    const TreeDecode t = DecodeTreeOf(prefix);
    EXPECT_TRUE(RangesWithin(t.tree, static_cast<std::uint32_t>(n))) << n;
    for (std::int32_t start : t.layerStarts) EXPECT_LE(start, static_cast<std::int32_t>(n)) << n;

    const SummaryRun s = RunSummary(prefix);
    // The row's addresses come from the last header whose bytes reached them.
    const bool innerRuns = n > inner;
    const std::size_t h = innerRuns ? inner : 14;
    EXPECT_EQ(s.row.hasSrcIp, n >= h + 16) << n;
    EXPECT_EQ(s.row.hasDstIp, n >= h + 20) << n;
    EXPECT_EQ(s.sample.has_value(), n >= h + 20) << n;
    if (s.row.hasSrcIp) {
      EXPECT_EQ(s.row.SrcIpText(), innerRuns ? "172.16.0.1" : "192.168.1.10") << n;
    }
    EXPECT_EQ(s.row.ProtocolsText(), n <= 14 ? "" : innerRuns ? "IPv4 IPv4 " : "IPv4 ") << n;
  }
}

}  // namespace
}  // namespace qv
