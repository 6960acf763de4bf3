#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decode/tcp.h"
#include "decode/udp.h"
#include "decode_helpers.h"

namespace qv {
namespace {

using namespace qv::testing;

const framegen::Mac kDst{0x00, 0xa0, 0xc9, 0x14, 0xc8, 0x29};
const framegen::Mac kSrc{0x00, 0x1b, 0x21, 0x3a, 0x4f, 0x01};
const framegen::Ip4 kSrcIp{192, 168, 1, 10};
const framegen::Ip4 kDstIp{10, 0, 0, 1};

// Where the transport header starts in an Ethernet II + 20-byte IPv4 frame.
constexpr std::uint32_t kH = 34;

// Ethernet II + IPv4 carrying the hand-made transport bytes `transport`
// (its checksum stays as written).
Bytes Ipv4Frame(std::uint8_t protocol, const Bytes& transport) {
  return FrameBuilder().Ethernet(kDst, kSrc, 0x0800).Ipv4(kSrcIp, kDstIp, protocol).Raw(transport).Build();
}

// A TCP header: ports 1025 -> 80, sequence 1000, no acknowledgement, the
// given flags, window 65535, checksum 0x1234; the data offset follows the
// options' length.
Bytes TcpHeader(std::uint8_t flags, const Bytes& options = {}) {
  Bytes b = Hex("0401 0050 000003e8 00000000");
  b.push_back(static_cast<std::uint8_t>((5 + options.size() / 4) << 4));
  b.push_back(flags);
  const Bytes rest = Hex("ffff 1234 0000");
  b.insert(b.end(), rest.begin(), rest.end());
  b.insert(b.end(), options.begin(), options.end());
  return b;
}

// Runs one transport decoder on its own at `at`, as IPv4 would call it.
TreeDecode TreeAt(DecoderFn decoder, std::span<const std::uint8_t> frame, std::uint32_t at, std::uint32_t flags = 0) {
  TreeDecode out;
  PacketDecoder d(frame, {kLinkTypeEthernet, nullptr, nullptr, EnabledDecoders::Classic()}, &out.tree, DecodeMode::Tree, &out.layerStarts, nullptr);
  d.flags = flags;
  d.Dispatch(decoder, at);
  out.text = out.tree.ToText();
  return out;
}

// The same in summary mode, with the conversation sample IPv4 would have
// started.
SummaryDecode SummaryAt(DecoderFn decoder, std::span<const std::uint8_t> frame, std::uint32_t at,
                        std::uint32_t flags = 0) {
  SummaryDecode out;
  PacketDecoder d(frame, {kLinkTypeEthernet, &out.sink, nullptr, EnabledDecoders::Classic()}, nullptr, DecodeMode::Summary, nullptr, &out.row);
  d.flags = flags;
  d.sample = IpConversationSample{{192, 168, 1, 10}, {10, 0, 0, 1}, 99, {}, {}};
  d.Dispatch(decoder, at);
  return out;
}

// The "Options" line and everything below it.
std::string OptionsText(const std::string& tree) {
  const std::size_t at = tree.find("  Options [");
  return at == std::string::npos ? std::string() : tree.substr(at);
}

TEST(Tcp, SynWithOptionsGoldenTree) {
  const Bytes frame = Ipv4Frame(6, TcpHeader(0x02, Hex("020405b4 01 030302 0402 080a 0001e240 00000000")));
  const TreeDecode t = TreeAt(DecodeTcp, frame, kH);
  EXPECT_EQ(t.text,
            "TCP [34,74)\n"
            "  Source port: 1025 (0x0401) [34,36)\n"
            "  Destination port: 80 (0x0050) [36,38)\n"
            "  Sequence number: 1000 (0x000003e8) [38,42)\n"
            "  Acknowledgement number: 0 (0x00000000) [42,46)\n"
            "  Offset: 10 (0xa) - 40 bytes [46,47)\n"
            "  Flags SYN [47,48)\n"
            "    0-----: FIN off [47,48)\n"
            "    -1----: SYN on [47,48)\n"
            "    --0---: RST off [47,48)\n"
            "    ---0--: PSH off [47,48)\n"
            "    ----0-: ACK off [47,48)\n"
            "    -----0: URG off [47,48)\n"
            "  Window: 65535 (0xffff) [48,50)\n"
            "  Checksum: 4660 (0x1234) [50,52)\n"
            "  Urgent pointer: 0 (0x0000) [52,54)\n"
            "  Options [54,74)\n"
            "    Maximum segment size: 1460 (0x05b4) [54,58)\n"
            "    No operation [58,59)\n"
            "    Shift count: 2 (0x02) [59,62)\n"
            "    SACK permitted [62,64)\n"
            "    Timestamps option: TSval: 123456 (0x0001e240), TSecr: 0 (0x00000000) [64,74)\n");
  // The layer itself, then the (empty) payload marked unsupported.
  EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{34, 74}));
}

TEST(Tcp, HeaderWithoutOptionsAndEveryFlagName) {
  const Bytes frame = [] {
    Bytes tcp = TcpHeader(0x3f);
    tcp.push_back('x');
    return Ipv4Frame(6, tcp);
  }();
  const TreeDecode t = TreeAt(DecodeTcp, frame, kH);
  EXPECT_EQ(t.text,
            "TCP [34,54)\n"
            "  Source port: 1025 (0x0401) [34,36)\n"
            "  Destination port: 80 (0x0050) [36,38)\n"
            "  Sequence number: 1000 (0x000003e8) [38,42)\n"
            "  Acknowledgement number: 0 (0x00000000) [42,46)\n"
            "  Offset: 5 (0x5) - 20 bytes [46,47)\n"
            "  Flags FIN SYN RST PSH ACK URG [47,48)\n"
            "    1-----: FIN on [47,48)\n"
            "    -1----: SYN on [47,48)\n"
            "    --1---: RST on [47,48)\n"
            "    ---1--: PSH on [47,48)\n"
            "    ----1-: ACK on [47,48)\n"
            "    -----1: URG on [47,48)\n"
            "  Window: 65535 (0xffff) [48,50)\n"
            "  Checksum: 4660 (0x1234) [50,52)\n"
            "  Urgent pointer: 0 (0x0000) [52,54)\n");
  EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{34, 54}));

  // The two top bits of the flags byte are no flags of this header.
  const TreeDecode u = TreeAt(DecodeTcp, Ipv4Frame(6, TcpHeader(0xd8)), kH);
  EXPECT_NE(u.text.find("  Flags PSH ACK [47,48)\n"), std::string::npos) << u.text;
}

TEST(Tcp, OptionWalk) {
  struct Case {
    const char* name;
    const char* options;  // hex, a multiple of four bytes
    const char* expected;
  };
  const Case cases[] = {
      {"fixed lengths whatever the length byte says", "02080578 010101 00",
       "  Options [54,62)\n"
       "    Maximum segment size: 1400 (0x0578) [54,58)\n"
       "    No operation [58,59)\n"
       "    No operation [59,60)\n"
       "    No operation [60,61)\n"},
      {"SACK of two blocks, each edge from its own bytes", "0101 0512 0a0b0c0d 1a1b1c1d 2a2b2c2d 3a3b3c3d 00000000",
       "  Options [54,78)\n"
       "    No operation [54,55)\n"
       "    No operation [55,56)\n"
       "    SACK: 2 blocks [56,74)\n"
       "      LEB 1: 168496141 (0x0a0b0c0d) [58,62)\n"
       "      REB 1: 437984285 (0x1a1b1c1d) [62,66)\n"
       "      LEB 2: 707472429 (0x2a2b2c2d) [66,70)\n"
       "      REB 2: 976960573 (0x3a3b3c3d) [70,74)\n"},
      {"alternate checksum data: byte lines under a line without a range", "0f05aabbcc 000000",
       "  Options [54,62)\n"
       "    TCP alternate checksum data: 3 (0x03) bytes of data\n"
       "      Byte 1 of data: 170 (0xaa) [56,57)\n"
       "      Byte 2 of data: 187 (0xbb) [57,58)\n"
       "      Byte 3 of data: 204 (0xcc) [58,59)\n"},
      {"alternate checksum requests", "0e0300 0e0301 0e0302 0e0307",
       "  Options [54,66)\n"
       "    TCP alternate checksum request: 0 (0x0) - TCP checksum [54,57)\n"
       "    TCP alternate checksum request: 1 (0x1) - 8-bit  Fletcher's algorithm [57,60)\n"
       "    TCP alternate checksum request: 2 (0x2) - 16-bit  Fletcher's algorithm [60,63)\n"
       "    TCP alternate checksum request: 7 (0x7) [63,66)\n"},
      {"echo, echo reply, partial order", "0606000000ff 070600010000 0902 0a03bf 0a0340",
       "  Options [54,74)\n"
       "    Echo option: 255 (0x000000ff) [54,60)\n"
       "    Echo reply option: 65536 (0x00010000) [60,66)\n"
       "    Partial order connection permitted [66,68)\n"
       "    Partial order service profile [68,71)\n"
       "      1--------: start flag set [70,71)\n"
       "      -0-------: end flag unset [70,71)\n"
       "      Filler: 63 (0x3f) [70,71)\n"
       "    Partial order service profile [71,74)\n"
       "      0--------: start flag unset [73,74)\n"
       "      -1-------: end flag set [73,74)\n"
       "      Filler: 0 (0x0) [73,74)\n"},
      {"unknown kind covers the rest and ends the walk", "01 0b04 0000 020405b4 000000",
       "  Options [54,66)\n"
       "    No operation [54,55)\n"
       "    Nieobłsługiwana operacja [55,66)\n"},
      {"kind 16 and above is not decoded", "10 020405b4 000000",
       "  Options [54,62)\n    Nieobłsługiwana operacja [54,62)\n"},
      {"SACK with length 0 would not move on", "0101 0500 0101 0000",
       "  Options [54,62)\n"
       "    No operation [54,55)\n"
       "    No operation [55,56)\n"
       "    Nieobłsługiwana operacja [56,62)\n"},
      {"alternate checksum data with length 1", "0f01 010101010000",
       "  Options [54,62)\n    Nieobłsługiwana operacja [54,62)\n"},
      {"end of option list", "01 00 0101", "  Options [54,58)\n    No operation [54,55)\n"},
  };
  for (const Case& c : cases) {
    const TreeDecode t = TreeAt(DecodeTcp, Ipv4Frame(6, TcpHeader(0x10, Hex(c.options))), kH);
    EXPECT_EQ(OptionsText(t.text), c.expected) << c.name;
  }
}

TEST(Tcp, OptionPastTheHeaderLengthReadsOnlyCapturedBytes) {
  // A timestamps option whose fixed length runs past HL = 24 and past the
  // captured bytes: no line, and the walk ends.
  const Bytes frame = Ipv4Frame(6, TcpHeader(0x10, Hex("0101 080a")));
  const TreeDecode t = TreeAt(DecodeTcp, frame, kH);
  EXPECT_EQ(OptionsText(t.text),
            "  Options [54,58)\n"
            "    No operation [54,55)\n"
            "    No operation [55,56)\n");
  // With the bytes captured after the header, the option is shown over them.
  Bytes longer = frame;
  const Bytes more = Hex("0000000a 0000000b 0000");
  longer.insert(longer.end(), more.begin(), more.end());
  EXPECT_NE(TreeAt(DecodeTcp, longer, kH)
                .text.find("    Timestamps option: TSval: 10 (0x0000000a), TSecr: 11 (0x0000000b) [56,66)\n"),
            std::string::npos);
}

TEST(Tcp, DataOffsetBelowFiveShowsTheFieldsButNoOptions) {
  Bytes tcp = TcpHeader(0x10, Hex("01010101"));
  tcp[12] = 0x30;  // 12 bytes
  const TreeDecode t = TreeAt(DecodeTcp, Ipv4Frame(6, tcp), kH);
  EXPECT_NE(t.text.find("TCP [34,46)\n"), std::string::npos) << t.text;
  EXPECT_NE(t.text.find("  Offset: 3 (0x3) - 12 bytes [46,47)\n"), std::string::npos) << t.text;
  EXPECT_NE(t.text.find("  Urgent pointer: 0 (0x0000) [52,54)\n"), std::string::npos) << t.text;
  EXPECT_EQ(t.text.find("Options"), std::string::npos) << t.text;
  // The payload is taken to start where the header says it ends.
  EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{34, 46}));

  tcp[12] = 0x00;
  const TreeDecode zero = TreeAt(DecodeTcp, Ipv4Frame(6, tcp), kH);
  EXPECT_NE(zero.text.find("  Offset: 0 (0x0) - 0 bytes [46,47)\n"), std::string::npos) << zero.text;
  EXPECT_EQ(zero.layerStarts, (std::vector<std::int32_t>{34, 34}));
}

TEST(Tcp, QuotedDatagramStopsAfterTheSequenceNumberInTreeModeOnly) {
  // An ICMP error quotes just the first eight bytes of the segment.
  const Bytes frame = Ipv4Frame(6, Hex("0401 0050 000003e8"));
  const TreeDecode t = TreeAt(DecodeTcp, frame, kH, QuotedDatagram);
  EXPECT_EQ(t.text,
            "TCP [34,42)\n"
            "  Source port: 1025 (0x0401) [34,36)\n"
            "  Destination port: 80 (0x0050) [36,38)\n"
            "  Sequence number: 1000 (0x000003e8) [38,42)\n");
  EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{34}));  // no tail
  // The flag stops the tree even when the whole header is there.
  const TreeDecode whole = TreeAt(DecodeTcp, Ipv4Frame(6, TcpHeader(0x02, Hex("020405b4"))), kH, QuotedDatagram);
  EXPECT_EQ(whole.tree.Children(whole.tree.TopLevel()[0]).size(), 3u);
  EXPECT_EQ(whole.tree[whole.tree.TopLevel()[0]].end, 42u);

  const SummaryDecode s = SummaryAt(DecodeTcp, frame, kH, QuotedDatagram);
  EXPECT_EQ(s.row.SrcPortText(), "1025");
  EXPECT_EQ(s.row.DstPortText(), "80");
  ASSERT_EQ(s.sink.samples.size(), 1u);
  EXPECT_EQ(s.sink.samples[0].sourcePort, 1025);
  EXPECT_EQ(s.sink.samples[0].destinationPort, 80);
}

TEST(Tcp, SummaryWritesPortsAndHandsTheSampleOverOnce) {
  const Bytes frame = Ipv4Frame(6, TcpHeader(0x18));
  const SummaryDecode s = SummaryAt(DecodeTcp, frame, kH);
  EXPECT_EQ(s.row.SrcPortText(), "1025");
  EXPECT_EQ(s.row.DstPortText(), "80");
  EXPECT_EQ(s.row.ProtocolsText(), "TCP ");
  EXPECT_EQ(s.sink.protocols, (std::vector<std::string>{"TCP/3"}));
  ASSERT_EQ(s.sink.samples.size(), 1u);
  const IpConversationSample& sample = s.sink.samples[0];
  EXPECT_EQ(sample.destinationPort, 80);
  EXPECT_EQ(sample.sourcePort, 1025);
  // What IPv4 put in stays as it was.
  EXPECT_EQ(sample.source, (std::array<std::uint8_t, 4>{192, 168, 1, 10}));
  EXPECT_EQ(sample.totalLength, 99u);
}

TEST(Udp, GoldenTreeAndRow) {
  const Bytes frame = FrameBuilder()
                          .Ethernet(kDst, kSrc, 0x0800)
                          .Ipv4(kSrcIp, kDstIp, 17)
                          .Raw(Hex("0035 c001 000c beef"))
                          .Text("abcd")
                          .Build();
  const TreeDecode t = TreeAt(DecodeUdp, frame, kH);
  EXPECT_EQ(t.text,
            "UDP [34,42)\n"
            "  Source port: 53 (0x0035) [34,36)\n"
            "  Destination port: 49153 (0xc001) [36,38)\n"
            "  Length: 12 bytes [38,40)\n"
            "  Checksum: 48879 (0xbeef) [40,42)\n");
  EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{34, 42}));

  const SummaryDecode s = SummaryAt(DecodeUdp, frame, kH);
  EXPECT_EQ(s.row.SrcPortText(), "53");
  EXPECT_EQ(s.row.DstPortText(), "49153");
  EXPECT_EQ(s.row.ProtocolsText(), "UDP ");
  EXPECT_EQ(s.sink.protocols, (std::vector<std::string>{"UDP/3"}));
  ASSERT_EQ(s.sink.samples.size(), 1u);
  EXPECT_EQ(s.sink.samples[0].destinationPort, 49153);
  EXPECT_EQ(s.sink.samples[0].sourcePort, 53);
}

// Every prefix of the frame, each in its own exact-size buffer so the
// sanitizer sees any over-read, decoded from the transport header on and as a
// whole frame, in both modes.
void CheckEveryPrefix(DecoderFn decoder, const Bytes& full) {
  const std::string whole = TreeAt(decoder, full, kH).text;
  for (std::size_t n = 0; n <= full.size(); ++n) {
    const std::vector<std::uint8_t> prefix(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
    const auto len = static_cast<std::uint32_t>(n);

    const TreeDecode t = TreeAt(decoder, prefix, kH);
    EXPECT_TRUE(RangesWithin(t.tree, len)) << n;
    for (const std::int32_t start : t.layerStarts) EXPECT_LE(start, static_cast<std::int32_t>(n)) << n;
    // A shorter capture only ever loses lines at the end.
    for (NodeId id = 1; id <= static_cast<NodeId>(t.tree.LineCount()); ++id) {
      EXPECT_NE(whole.find(t.tree[id].text), std::string::npos) << n << ": " << t.tree[id].text;
    }

    const SummaryDecode s = SummaryAt(decoder, prefix, kH);
    EXPECT_EQ(s.row.hasSrcPort, n >= kH + 2) << n;
    EXPECT_EQ(s.row.hasDstPort, n >= kH + 4) << n;
    EXPECT_EQ(s.sink.samples.size(), n >= kH + 4 ? 1u : 0u) << n;

    const TreeDecode framed = DecodeTreeOf(prefix);
    EXPECT_TRUE(RangesWithin(framed.tree, len)) << n;
    for (const std::int32_t start : framed.layerStarts) EXPECT_LE(start, static_cast<std::int32_t>(n)) << n;
    DecodeSummaryOf(prefix);
  }
}

TEST(Tcp, EveryPrefixOfASegmentWithOptionsStaysWithinTheCapturedBytes) {
  // Every kind with a body of its own, the walk ending exactly at HL = 60.
  Bytes tcp = TcpHeader(0x12, Hex("020405b4 01 030307 050a0000000100000002 0f04aabb 0a03c5 0e0302 "
                                  "080a0000000100000002 0402"));
  tcp.push_back('x');
  ASSERT_EQ(tcp.size(), 61u);
  CheckEveryPrefix(DecodeTcp, Ipv4Frame(6, tcp));
}

TEST(Udp, EveryPrefixStaysWithinTheCapturedBytes) {
  CheckEveryPrefix(
      DecodeUdp, FrameBuilder().Ethernet(kDst, kSrc, 0x0800).Ipv4(kSrcIp, kDstIp, 17).Udp(5353, 53).Text("q").Build());
}

// --- whole frames, through Ethernet and IPv4 ---

TEST(TcpInIpv4, LayerStartsRowAndSample) {
  const Bytes frame = FrameBuilder()
                          .Ethernet(kDst, kSrc, 0x0800)
                          .Ipv4(kSrcIp, kDstIp, 6)
                          .Tcp(49152, 443, 1, 2, 0x18)
                          .Text("hello")
                          .Build();
  const TreeDecode t = DecodeTreeOf(frame);
  const std::vector<NodeId> top = t.tree.TopLevel();
  ASSERT_EQ(top.size(), 3u) << t.text;
  EXPECT_EQ(t.tree[top[0]].text, "Ethernet II");
  EXPECT_EQ(t.tree[top[1]].text, "IPv4");
  EXPECT_EQ(t.tree[top[2]].text, "TCP");
  EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{14, 34, 54}));

  const SummaryDecode s = DecodeSummaryOf(frame);
  EXPECT_EQ(s.row.ProtocolsText(), "IPv4 TCP ");
  EXPECT_EQ(s.row.SrcPortText(), "49152");
  EXPECT_EQ(s.row.DstPortText(), "443");
  EXPECT_EQ(s.sink.protocols, (std::vector<std::string>{"Ethernet II/1", "IPv4/2", "TCP/3"}));
  ASSERT_EQ(s.sink.samples.size(), 1u);
  const IpConversationSample& sample = s.sink.samples[0];
  EXPECT_EQ(sample.source, kSrcIp);
  EXPECT_EQ(sample.destination, kDstIp);
  EXPECT_EQ(sample.totalLength, 45u);
  EXPECT_EQ(sample.destinationPort, 443);
  EXPECT_EQ(sample.sourcePort, 49152);
}

TEST(UdpInIpv4, RowAndSample) {
  const Bytes frame =
      FrameBuilder().Ethernet(kDst, kSrc, 0x0800).Ipv4(kSrcIp, kDstIp, 17).Udp(5353, 53).Text("query").Build();
  const SummaryDecode s = DecodeSummaryOf(frame);
  EXPECT_EQ(s.row.ProtocolsText(), "IPv4 UDP ");
  EXPECT_EQ(s.row.SrcPortText(), "5353");
  EXPECT_EQ(s.row.DstPortText(), "53");
  ASSERT_EQ(s.sink.samples.size(), 1u);
  EXPECT_EQ(s.sink.samples[0].destinationPort, 53);
  EXPECT_EQ(s.sink.samples[0].sourcePort, 5353);
  EXPECT_EQ(s.sink.samples[0].totalLength, 33u);

  EXPECT_EQ(DecodeTreeOf(frame).layerStarts, (std::vector<std::int32_t>{14, 34, 42}));
}

TEST(TcpInIpv4, NoSampleWithoutTcpOrUdp) {
  // ICMP echo request, and an IPv4 header whose TCP ports were cut off.
  const Bytes icmp =
      FrameBuilder().Ethernet(kDst, kSrc, 0x0800).Ipv4(kSrcIp, kDstIp, 1).Raw(Hex("0800f7ff00000000")).Build();
  EXPECT_TRUE(DecodeSummaryOf(icmp).sink.samples.empty());
  const Bytes tcp = FrameBuilder().Ethernet(kDst, kSrc, 0x0800).Ipv4(kSrcIp, kDstIp, 6).Tcp(1, 2, 0, 0, 0x02).Build();
  const std::vector<std::uint8_t> cut(tcp.begin(), tcp.begin() + kH + 3);
  const SummaryDecode s = DecodeSummaryOf(cut);
  EXPECT_TRUE(s.sink.samples.empty());
  EXPECT_EQ(s.row.SrcPortText(), "1");
  EXPECT_EQ(s.row.DstPortText(), "");
}

// Ethernet pads a short frame to 60 bytes. The zeros after the IP datagram
// are no payload: a bare ACK to a TLS, HTTP or DNS port, or an empty
// datagram to a DNS, QUIC or NTP port, names no application protocol, and
// shows what the classic decoders show; a short datagram's decoder reads
// its own bytes only.
TEST(TransportPayload, EthernetPaddingIsNoApplicationPayload) {
  struct Case {
    const char* what;
    bool udp;
    std::uint16_t port;
    Bytes payload;
    const char* protocols;
  };
  const Case cases[] = {
      {"ACK to HTTP", false, 80, {}, "IPv4 TCP "},
      {"ACK to TLS", false, 443, {}, "IPv4 TCP "},
      {"ACK to DNS", false, 53, {}, "IPv4 TCP "},
      {"empty datagram to DNS", true, 53, {}, "IPv4 UDP "},
      {"empty datagram to QUIC", true, 443, {}, "IPv4 UDP "},
      {"empty datagram to NTP", true, 123, {}, "IPv4 UDP "},
      {"four bytes to NTP", true, 123, {0x23, 0x02, 0x06, 0xEC}, "IPv4 UDP NTP "},
  };
  for (const Case& c : cases) {
    FrameBuilder b;
    b.Ethernet({0x02, 0, 0, 0, 0, 0x02}, {0x02, 0, 0, 0, 0, 0x01}, 0x0800)
        .Ipv4({192, 168, 100, 1}, {192, 168, 100, 2}, c.udp ? 17 : 6);
    if (c.udp) {
      b.Udp(40000, c.port);
    } else {
      b.Tcp(40000, c.port, 1, 1, 0x10);
    }
    const Bytes frame = b.Raw(c.payload).PadTo(60).Build();
    ASSERT_EQ(frame.size(), 60u) << c.what;
    EXPECT_EQ(DecodeSummaryOf(frame, EnabledDecoders::All()).row.ProtocolsText(), c.protocols) << c.what;
    const TreeDecode all = DecodeTreeOf(frame, nullptr, EnabledDecoders::All());
    // Ethernet 14, IPv4 20, UDP or TCP 8 or 20, then the payload.
    const auto datagramEnd = static_cast<std::uint32_t>((c.udp ? 42 : 54) + c.payload.size());
    EXPECT_TRUE(RangesWithin(all.tree, datagramEnd)) << c.what << "\n" << all.text;
    if (c.payload.empty()) {
      const TreeDecode classic = DecodeTreeOf(frame);
      EXPECT_EQ(all.text, classic.text) << c.what;
      EXPECT_EQ(all.layerStarts, classic.layerStarts) << c.what;
    }
  }
}

}  // namespace
}  // namespace qv
