#include "decode/ntp.h"

#include <gtest/gtest.h>
#include <pcap/pcap.h>

#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "decode_helpers.h"

namespace qv {
namespace {

using namespace qv::testing;

constexpr std::uint32_t kNtp = 42;  // after Ethernet II, IPv4 and UDP

Bytes NtpFrame(std::string_view message) {
  return FrameBuilder()
      .Ethernet({0x02, 0, 0, 0, 0, 0x02}, {0x02, 0, 0, 0, 0, 0x01}, 0x0800)
      .Ipv4({192, 168, 100, 2}, {192, 168, 100, 1}, 17)
      .Udp(123, 123)
      .Raw(Hex(message))
      .Build();
}

// 0xe5a1b2c3 seconds since 1900 are Jan 31, 2022 00:58:43 UTC.
Bytes Client() {
  return NtpFrame(
      "23 00 06 e9 00000000 00000000 00000000"
      "0000000000000000 0000000000000000 0000000000000000 e5a1b2c3 80000000"
      "00000008 00112233445566778899aabbccddeeff");  // key id and MD5
}

Bytes Server() {
  return NtpFrame(
      "24 02 06 e9 000027cf 00000067 0a051b0a"
      "e5a1b2c0 00000000 e5a1b2c3 80000000 e5a1b2c3 c0000000 e5a1b2c3 c0100000");
}

// Read variables, and the answer with the system status.
Bytes ControlRequest() { return NtpFrame("16 02 0001 0000 0000 0000 0000"); }
Bytes ControlResponse() {
  return NtpFrame(
      "d6 82 0001 0618 0000 0000 002b"
      "76657273696f6e3d226e74706420342e322e38703135222c206c6561703d30302c207374726174756d3d32"  // 43 bytes
      "00");  // padding to four bytes
}

struct Decoded {
  TreeDecode tree;
  RecordingScripts scripts;
};

Decoded TreeAt(std::span<const std::uint8_t> frame, std::uint32_t at = kNtp) {
  Decoded out;
  PacketDecoder d(frame, {kLinkTypeEthernet, nullptr, &out.scripts, EnabledDecoders::All()}, &out.tree.tree,
                  DecodeMode::Tree, &out.tree.layerStarts, nullptr);
  d.Dispatch(DecodeNtp, at);
  out.tree.text = out.tree.tree.ToText();
  return out;
}

SummaryDecode SummaryAt(std::span<const std::uint8_t> frame, std::uint32_t at = kNtp) {
  SummaryDecode out;
  PacketDecoder d(frame, {kLinkTypeEthernet, &out.sink, nullptr, EnabledDecoders::All()}, nullptr, DecodeMode::Summary,
                  nullptr, &out.row);
  d.Dispatch(DecodeNtp, at);
  return out;
}

// The lines from the first one that starts with `from` on.
std::string TextFrom(const std::string& text, std::string_view from) {
  const std::size_t at = text.find(std::string("\n") + std::string(from));
  return at == std::string::npos ? std::string() : text.substr(at + 1);
}

void ExpectEveryCutWithin(const Bytes& frame, std::uint32_t at = kNtp) {
  for (std::size_t n = 0; n <= frame.size(); ++n) {
    const Bytes cut(frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(n));
    const Decoded r = TreeAt(cut, at);
    ASSERT_TRUE(RangesWithin(r.tree.tree, static_cast<std::uint32_t>(n))) << "cut at " << n << "\n" << r.tree.text;
    SummaryAt(cut, at);
    const TreeDecode whole = DecodeTreeOf(cut, nullptr, EnabledDecoders::All());
    ASSERT_TRUE(RangesWithin(whole.tree, static_cast<std::uint32_t>(n))) << "cut at " << n << "\n" << whole.text;
    DecodeSummaryOf(cut, EnabledDecoders::All());
  }
}

TEST(Ntp, ClientAndServerGoldenTrees) {
  const Bytes client = Client();
  const Decoded c = TreeAt(client);
  EXPECT_EQ(c.tree.text,
            "NTP (Version 4, client) [42,110)\n"
            "  Flags: 0x23, Leap Indicator: no warning, Version number: NTP Version 4, Mode: client [42,43)\n"
            "    00.. .... = Leap Indicator: no warning (0) [42,43)\n"
            "    ..10 0... = Version number: NTP Version 4 (4) [42,43)\n"
            "    .... .011 = Mode: client (3) [42,43)\n"
            "  Peer Clock Stratum: unspecified or invalid (0) [43,44)\n"
            "  Peer Polling Interval: 6 (64 seconds) [44,45)\n"
            "  Peer Clock Precision: 0.000000119 seconds (2^-23) [45,46)\n"
            "  Root Delay: 0.000000 seconds [46,50)\n"
            "  Root Dispersion: 0.000000 seconds [50,54)\n"
            "  Reference ID: NULL [54,58)\n"
            "  Reference Timestamp: NULL [58,66)\n"
            "  Origin Timestamp: NULL [66,74)\n"
            "  Receive Timestamp: NULL [74,82)\n"
            "  Transmit Timestamp: Jan 31, 2022 00:58:43.500000000 UTC [82,90)\n"
            "  Key ID: 00000008 [90,94)\n"
            "  Message Authentication Code: 00112233445566778899aabbccddeeff [94,110)\n");
  // A timestamp that is not set shows as NULL; its value stands at 0.
  EXPECT_EQ(FieldsText(c.tree.tree, client),
            "ntp=NTP (Version 4, client) [42,110)\n"
            "  ntp.flags=0x23 [42,43)\n"
            "    ntp.flags.li=0 [42,43)\n"
            "    ntp.flags.vn=4 [42,43)\n"
            "    ntp.flags.mode=3 [42,43)\n"
            "  ntp.stratum=0 [43,44)\n"
            "  ntp.ppoll=6 [44,45)\n"
            "  ntp.precision=233 [45,46)\n"
            "  ntp.rootdelay=0 [46,50)\n"
            "  ntp.rootdispersion=0 [50,54)\n"
            "  ntp.refid=00000000 [54,58)\n"
            "  ntp.reftime=Jan  1, 1970 00:00:00.000000000 UTC [58,66)\n"
            "  ntp.org=Jan  1, 1970 00:00:00.000000000 UTC [66,74)\n"
            "  ntp.rec=Jan  1, 1970 00:00:00.000000000 UTC [74,82)\n"
            "  ntp.xmt=Jan 31, 2022 00:58:43.500000000 UTC [82,90)\n"
            "  ntp.keyid=00000008 [90,94)\n"
            "  ntp.mac=00112233445566778899aabbccddeeff [94,110)\n");
  EXPECT_EQ(c.tree.layerStarts, (std::vector<std::int32_t>{42}));
  EXPECT_TRUE(c.scripts.offers.empty());

  const Bytes server = Server();
  const Decoded s = TreeAt(server);
  EXPECT_EQ(s.tree.text,
            "NTP (Version 4, server) [42,90)\n"
            "  Flags: 0x24, Leap Indicator: no warning, Version number: NTP Version 4, Mode: server [42,43)\n"
            "    00.. .... = Leap Indicator: no warning (0) [42,43)\n"
            "    ..10 0... = Version number: NTP Version 4 (4) [42,43)\n"
            "    .... .100 = Mode: server (4) [42,43)\n"
            "  Peer Clock Stratum: secondary reference (2) [43,44)\n"
            "  Peer Polling Interval: 6 (64 seconds) [44,45)\n"
            "  Peer Clock Precision: 0.000000119 seconds (2^-23) [45,46)\n"
            "  Root Delay: 0.155502 seconds [46,50)\n"
            "  Root Dispersion: 0.001572 seconds [50,54)\n"
            "  Reference ID: 10.5.27.10 [54,58)\n"
            "  Reference Timestamp: Jan 31, 2022 00:58:40.000000000 UTC [58,66)\n"
            "  Origin Timestamp: Jan 31, 2022 00:58:43.500000000 UTC [66,74)\n"
            "  Receive Timestamp: Jan 31, 2022 00:58:43.750000000 UTC [74,82)\n"
            "  Transmit Timestamp: Jan 31, 2022 00:58:43.750244140 UTC [82,90)\n");
  EXPECT_EQ(FieldsText(s.tree.tree, server),
            "ntp=NTP (Version 4, server) [42,90)\n"
            "  ntp.flags=0x24 [42,43)\n"
            "    ntp.flags.li=0 [42,43)\n"
            "    ntp.flags.vn=4 [42,43)\n"
            "    ntp.flags.mode=4 [42,43)\n"
            "  ntp.stratum=2 [43,44)\n"
            "  ntp.ppoll=6 [44,45)\n"
            "  ntp.precision=233 [45,46)\n"
            "  ntp.rootdelay=10191 [46,50)\n"
            "  ntp.rootdispersion=103 [50,54)\n"
            "  ntp.refid=0a051b0a [54,58)\n"
            "  ntp.reftime=Jan 31, 2022 00:58:40.000000000 UTC [58,66)\n"
            "  ntp.org=Jan 31, 2022 00:58:43.500000000 UTC [66,74)\n"
            "  ntp.rec=Jan 31, 2022 00:58:43.750000000 UTC [74,82)\n"
            "  ntp.xmt=Jan 31, 2022 00:58:43.750244140 UTC [82,90)\n");
}

TEST(Ntp, ReferenceIdsFollowTheStratumAndTimestampsTheirEra) {
  // A primary server names its clock; seconds with the top bit clear count from 2036.
  const Decoded primary = TreeAt(NtpFrame(
      "1c 01 06 ec 00000000 00000010 47505300 e5a1b2c3 00000000 00000000 00000000"
      "00001000 40000000 00001000 80000000"));
  EXPECT_EQ(TextFrom(primary.tree.text, "  Reference ID"),
            "  Reference ID: GPS (reference clock) [54,58)\n"
            "  Reference Timestamp: Jan 31, 2022 00:58:43.000000000 UTC [58,66)\n"
            "  Origin Timestamp: NULL [66,74)\n"
            "  Receive Timestamp: Feb  7, 2036 07:36:32.250000000 UTC [74,82)\n"
            "  Transmit Timestamp: Feb  7, 2036 07:36:32.500000000 UTC [82,90)\n");
  // Stratum 0: a kiss code.
  const Decoded kiss = TreeAt(NtpFrame(
      "24 00 0a e9 00000000 00000000 52415445 0000000000000000 e5a1b2c3 80000000 0000000000000000 0000000000000000"));
  EXPECT_NE(kiss.tree.text.find("\n  Peer Polling Interval: 10 (1024 seconds) [44,45)\n"), std::string::npos);
  EXPECT_NE(kiss.tree.text.find("\n  Reference ID: RATE (kiss code: rate exceeded) [54,58)\n"), std::string::npos);
  // The same bytes from a secondary server are an address.
  const Decoded secondary = TreeAt(NtpFrame(
      "24 03 0a e9 00000000 00000000 52415445 0000000000000000 e5a1b2c3 80000000 0000000000000000 0000000000000000"));
  EXPECT_NE(secondary.tree.text.find("\n  Reference ID: 82.65.84.69 [54,58)\n"), std::string::npos);
}

TEST(Ntp, ControlRequestAndResponseWithSystemStatusAndDataItems) {
  const Bytes request = ControlRequest();
  const Decoded q = TreeAt(request);
  EXPECT_EQ(q.tree.text,
            "NTP (Version 2, control) [42,54)\n"
            "  Flags: 0x16, Leap Indicator: no warning, Version number: NTP Version 2, "
            "Mode: reserved for NTP control message [42,43)\n"
            "    00.. .... = Leap Indicator: no warning (0) [42,43)\n"
            "    ..01 0... = Version number: NTP Version 2 (2) [42,43)\n"
            "    .... .110 = Mode: reserved for NTP control message (6) [42,43)\n"
            "  Flags 2: 0x02, Response bit: Request, Opcode: read variables [43,44)\n"
            "    0... .... = Response bit: Request (0) [43,44)\n"
            "    .0.. .... = Error bit: 0 [43,44)\n"
            "    ..0. .... = More bit: 0 [43,44)\n"
            "    ...0 0010 = Opcode: read variables (2) [43,44)\n"
            "  Sequence: 1 [44,46)\n"
            "  Status: 0x0000 [46,48)\n"
            "  AssociationID: 0 [48,50)\n"
            "  Offset: 0 [50,52)\n"
            "  Count: 0 [52,54)\n");
  EXPECT_EQ(FieldsText(q.tree.tree, request),
            "ntp=NTP (Version 2, control) [42,54)\n"
            "  ntp.flags=0x16 [42,43)\n"
            "    ntp.flags.li=0 [42,43)\n"
            "    ntp.flags.vn=2 [42,43)\n"
            "    ntp.flags.mode=6 [42,43)\n"
            "  ntp.ctrl.flags2=0x02 [43,44)\n"
            "    ntp.ctrl.flags2.r=0 [43,44)\n"
            "    ntp.ctrl.flags2.error=0 [43,44)\n"
            "    ntp.ctrl.flags2.more=0 [43,44)\n"
            "    ntp.ctrl.flags2.opcode=2 [43,44)\n"
            "  ntp.ctrl.sequence=1 [44,46)\n"
            "  ntp.ctrl.status=0x0000 [46,48)\n"
            "  ntp.ctrl.associd=0 [48,50)\n"
            "  ntp.ctrl.offset=0 [50,52)\n"
            "  ntp.ctrl.count=0 [52,54)\n");

  const Bytes response = ControlResponse();
  const Decoded r = TreeAt(response);
  EXPECT_EQ(TextFrom(r.tree.text, "  Status"),
            "  Status: 0x0618 [46,48)\n"
            "    00.. .... .... .... = Leap Indicator: no warning (0) [46,48)\n"
            "    ..00 0110 .... .... = Clock Source: UDP/NTP (6) [46,48)\n"
            "    .... .... 0001 .... = System Event Counter: 1 [46,48)\n"
            "    .... .... .... 1000 = System Event Code: no system peer (8) [46,48)\n"
            "  AssociationID: 0 [48,50)\n"
            "  Offset: 0 [50,52)\n"
            "  Count: 43 [52,54)\n"
            "  Data (43 bytes) [54,97)\n"
            "    version=\"ntpd 4.2.8p15\" [54,77)\n"
            "    leap=00 [79,86)\n"
            "    stratum=2 [88,97)\n"
            "  Padding (1 byte) [97,98)\n");
  EXPECT_EQ(TextFrom(FieldsText(r.tree.tree, response), "  ntp.ctrl.status"),
            "  ntp.ctrl.status=0x0618 [46,48)\n"
            "    ntp.ctrl.sys_status.li=0 [46,48)\n"
            "    ntp.ctrl.sys_status.clksrc=6 [46,48)\n"
            "    ntp.ctrl.sys_status.count=1 [46,48)\n"
            "    ntp.ctrl.sys_status.code=8 [46,48)\n"
            "  ntp.ctrl.associd=0 [48,50)\n"
            "  ntp.ctrl.offset=0 [50,52)\n"
            "  ntp.ctrl.count=43 [52,54)\n"
            "  ntp.ctrl.data= [54,97)\n"
            "    ntp.ctrl.item= [54,77)\n"
            "    ntp.ctrl.item= [79,86)\n"
            "    ntp.ctrl.item= [88,97)\n"
            "  ntp.padding=00 [97,98)\n");
}

TEST(Ntp, ControlPeerStatusAndErrorStatus) {
  const Decoded peer = TreeAt(NtpFrame("1e 81 0002 9614 dbc5 0000 0004 00000000"));
  EXPECT_EQ(TextFrom(peer.tree.text, "  Status"),
            "  Status: 0x9614 [46,48)\n"
            "    1... .... .... .... = Peer Status: configured [46,48)\n"
            "    .0.. .... .... .... = Peer Status: authentication disabled [46,48)\n"
            "    ..0. .... .... .... = Peer Status: authentication not okay [46,48)\n"
            "    ...1 .... .... .... = Peer Status: reachability okay [46,48)\n"
            "    .... 0... .... .... = Peer Status broadcast association: not broadcast association [46,48)\n"
            "    .... .110 .... .... = Peer Selection: current synchronization source; max distance okay (6) [46,48)\n"
            "    .... .... 0001 .... = Peer Event Counter: 1 [46,48)\n"
            "    .... .... .... 0100 = Peer Event Code: 4 [46,48)\n"
            "  AssociationID: 56261 [48,50)\n"
            "  Offset: 0 [50,52)\n"
            "  Count: 4 [52,54)\n"
            "  Data (4 bytes) [54,58)\n");

  const Decoded error = TreeAt(NtpFrame("1e c2 0003 0400 0000 0000 0000"));
  EXPECT_NE(error.tree.text.find("  Status: 0x0400 [46,48)\n"
                                 "    0000 0100 .... .... = Error Status Word: 4 [46,48)\n"),
            std::string::npos)
      << error.tree.text;
}

TEST(Ntp, ControlDataLongerThanTheCaptureShowsWhatWasCaptured) {
  const Decoded r = TreeAt(NtpFrame("d6 82 0001 0618 0000 0000 01f4 76657273696f6e3d"));
  EXPECT_TRUE(r.tree.text.ends_with("  Count: 500 [52,54)\n"
                                    "  Data (8 bytes) [54,62)\n"
                                    "    version= [54,62)\n"))
      << r.tree.text;
}

TEST(Ntp, PrivateMessageHeaderAndData) {
  const Decoded r = TreeAt(NtpFrame("97 83 03 2a 0002 0048 0102030405060708"));
  EXPECT_EQ(r.tree.text,
            "NTP (Version 2, private) [42,58)\n"
            "  Flags: 0x97, Response bit: Response, Version number: NTP Version 2, Mode: reserved for private use "
            "[42,43)\n"
            "    1... .... = Response bit: Response (1) [42,43)\n"
            "    .0.. .... = More bit: 0 [42,43)\n"
            "    ..01 0... = Version number: NTP Version 2 (2) [42,43)\n"
            "    .... .111 = Mode: reserved for private use (7) [42,43)\n"
            "  Auth, sequence: 131 [43,44)\n"
            "    1... .... = Auth bit: 1 [43,44)\n"
            "    .000 0011 = Sequence number: 3 [43,44)\n"
            "  Implementation: 3 [44,45)\n"
            "  Request code: 42 [45,46)\n"
            "  Err: 0x00 [46,47)\n"
            "  Number of data items: 2 [46,48)\n"
            "  Reserved: 0x00 [48,49)\n"
            "  Size of data item: 72 [48,50)\n"
            "  Data (8 bytes) [50,58)\n");
}

constexpr std::string_view kServerHeader =
    "24 02 06 e9 00000000 00000000 0a000001 e5a1b2c0 00000000 e5a1b2c3 80000000 e5a1b2c3 c0000000 e5a1b2c3 c0100000";

// An extension field of 16 bytes, then a key id and an MD5 code.
constexpr std::string_view kExtensionAndMac =
    "0104 0010 000102030405060708090a0b 00000001 00112233445566778899aabbccddeeff";

TEST(Ntp, ExtensionFieldsThenKeyIdAndMac) {
  const Bytes frame =
      NtpFrame(std::string(kServerHeader) + std::string(kExtensionAndMac));
  const Decoded r = TreeAt(frame);
  EXPECT_EQ(TextFrom(r.tree.text, "  Extension"),
            "  Extension: type 0x0104, 16 bytes [90,106)\n"
            "    Field Type: 0x0104 [90,92)\n"
            "    Length: 16 [92,94)\n"
            "    Value (12 bytes) [94,106)\n"
            "  Key ID: 00000001 [106,110)\n"
            "  Message Authentication Code: 00112233445566778899aabbccddeeff [110,126)\n");
  EXPECT_EQ(FieldValue(r.tree.tree, frame, "ntp.ext.type"), "0x0104");
  EXPECT_EQ(FieldValue(r.tree.tree, frame, "ntp.ext.value"), "000102030405060708090a0b");

  // A length that cannot be an extension field's: what follows the header
  // is a key id and a code.
  const Decoded bogus =
      TreeAt(NtpFrame(std::string(kServerHeader) + "0104 0003 000102030405060708090a0b 00000001 0011223344556677"));
  EXPECT_EQ(TextFrom(bogus.tree.text, "  Key ID"),
            "  Key ID: 01040003 [90,94)\n"
            "  Message Authentication Code: 000102030405060708090a0b000000010011223344556677 [94,118)\n");
  // Version 3 knows no extension fields.
  Bytes v3 = NtpFrame(std::string(kServerHeader) + "0104 0010 000102030405060708090a0b 00000001 00112233");
  v3[kNtp] = 0x1c;
  EXPECT_EQ(TextFrom(TreeAt(v3).tree.text, "  Key ID"),
            "  Key ID: 01040010 [90,94)\n"
            "  Message Authentication Code: 000102030405060708090a0b0000000100112233 [94,114)\n");
}

TEST(Ntp, AMessageCutShortShowsTheFieldsThatWereCaptured) {
  const Bytes whole = Server();
  const Decoded r = TreeAt(Bytes(whole.begin(), whole.begin() + kNtp + 22));
  EXPECT_TRUE(r.tree.text.ends_with("  Reference ID: 10.5.27.10 [54,58)\n")) << r.tree.text;
  EXPECT_EQ(r.tree.text.find("Timestamp"), std::string::npos);
  const Decoded one = TreeAt(Bytes(whole.begin(), whole.begin() + kNtp + 1));
  EXPECT_TRUE(one.tree.text.starts_with("NTP (Version 4, server) [42,43)\n")) << one.tree.text;
}

TEST(Ntp, SummaryCountsTheMessageAndBuildsNoTree) {
  const SummaryDecode s = SummaryAt(Server());
  EXPECT_EQ(s.row.ProtocolsText(), "NTP ");
  EXPECT_EQ(s.sink.protocols, (std::vector<std::string>{"NTP/4"}));
}

TEST(Ntp, EveryCutOfEveryFrameStaysWithinTheCapturedBytes) {
  for (const Bytes& frame : {Client(), Server(), ControlRequest(), ControlResponse()}) ExpectEveryCutWithin(frame);
  ExpectEveryCutWithin(NtpFrame("97 83 03 2a 0002 0048 0102030405060708"));
  ExpectEveryCutWithin(
      NtpFrame(std::string(kServerHeader) + std::string(kExtensionAndMac)));
}

TEST(Ntp, RandomMessagesOfEveryModeStayWithinTheCapturedBytes) {
  std::uint32_t state = 99;
  auto next = [&state] {
    state = state * 1103515245u + 12345u;
    return static_cast<std::uint8_t>(state >> 16);
  };
  for (int round = 0; round < 400; ++round) {
    Bytes frame = Server();
    frame.resize(kNtp);
    const std::size_t length = next() % 120;
    for (std::size_t i = 0; i < length; ++i) frame.push_back(next());
    if (length > 0) frame[kNtp] = static_cast<std::uint8_t>((frame[kNtp] & 0xf8) | (round % 8));
    // Small counts and extension lengths now and then.
    if (length > 51 && round % 3 == 0) frame[kNtp + 50] = 0;
    if (length > 11 && round % 5 == 0) frame[kNtp + 10] = 0;
    const Decoded r = TreeAt(frame);
    ASSERT_TRUE(RangesWithin(r.tree.tree, static_cast<std::uint32_t>(frame.size()))) << r.tree.text;
  }
}

// --- real captures ---


// The field's values as `tshark -T fields` writes them; tshark writes a
// timestamp that is not set as NULL.
std::string TsharkValues(const DecodeTree& tree, std::span<const std::uint8_t> frame, std::string_view abbrev) {
  std::string out;
  for (NodeId id = 1; id <= static_cast<NodeId>(tree.LineCount()); ++id) {
    const DecodeNode& n = tree[id];
    if (n.field == nullptr || n.field->abbrev != abbrev) continue;
    if (!out.empty()) out += ',';
    const bool unset = n.field->type == FieldType::AbsoluteTime && n.text.ends_with(": NULL");
    out += unset ? std::string("NULL") : NodeValueText(n, frame);
  }
  return out;
}

TEST(Ntp, RealClientServerExchangesMatchTshark) {
  const std::vector<Bytes> frames = CorpusFrames("ntp.pcap");
  if (frames.empty()) GTEST_SKIP() << "no corpus at " << QUORVANET_CORPUS_DIR;
  constexpr std::string_view kFields[] = {
      "ntp.flags", "ntp.flags.li", "ntp.flags.vn", "ntp.flags.mode", "ntp.stratum", "ntp.ppoll",
      "ntp.precision", "ntp.rootdelay", "ntp.rootdispersion", "ntp.refid", "ntp.reftime", "ntp.org",
      "ntp.rec", "ntp.xmt", "ntp.keyid", "ntp.mac",
  };
  // `tshark -T fields -E separator='|'` for those fields, frame by frame.
  const std::vector<std::string> tshark = {
      "0x23|0|4|3|0|0|32|0|0|00000000|NULL|NULL|NULL|Jul 25, 1987 21:08:33.007738396 UTC|00000008"
      "|57ea530f6d74350cc5286bfec1ab8ca747c73584",
      "0xe4|3|4|4|0|3|233|0|90|53544550|NULL|Jul 25, 1987 21:08:33.007738396 UTC|Jun 19, 2017 14:12:09.516015118 UTC"
      "|Jun 19, 2017 14:12:09.516074047 UTC|00000000|",
      "0x23|0|4|3|0|0|32|0|0|00000000|NULL|Jun 19, 2017 14:19:17.473833108 UTC|Mar 22, 2093 03:56:41.693999877 UTC"
      "|Oct 31, 1992 13:37:44.107565978 UTC|00000008|8b7e640979156264f3faa5ae979656dd86502431",
      "0x24|0|4|4|2|0|233|10191|103|0a051b0a|Jun 19, 2017 14:19:17.720418353 UTC|Oct 31, 1992 13:37:44.107565978 UTC"
      "|Jun 19, 2017 14:19:18.494427815 UTC|Jun 19, 2017 14:19:18.494546877 UTC|00000008"
      "|629990a7fc22cc8467dd88b7af2d220dbe3287d6",
      "0xe3|3|4|3|0|3|250|65536|65536|00000000|NULL|NULL|NULL|Jun 19, 2017 14:22:54.488488492 UTC||",
      "0x24|0|4|4|2|3|233|10188|66|0a051b0a|Jun 19, 2017 14:22:52.021018556 UTC|Jun 19, 2017 14:22:54.488488492 UTC"
      "|Jun 19, 2017 14:22:54.488540573 UTC|Jun 19, 2017 14:22:54.488665335 UTC||",
      "0xe3|3|4|3|0|6|231|0|0|494e4954|NULL|NULL|NULL|Jun 19, 2017 14:47:12.800841171 UTC|00000008"
      "|d5378a09c04da845732097104348843a",
      "0x24|0|4|4|2|6|233|7640|114|0a0ba0ee|Jun 19, 2017 14:47:01.265296222 UTC|Jun 19, 2017 14:47:12.800841171 UTC"
      "|Jun 19, 2017 14:47:12.799168336 UTC|Jun 19, 2017 14:47:12.799217265 UTC|00000008"
      "|a7005b034ca215fedfa0d798db37ae9e",
  };
  std::vector<std::string> rows;
  for (const Bytes& frame : frames) {
    const Decoded r = TreeAt(frame);
    std::string row;
    for (std::size_t i = 0; i < std::size(kFields); ++i) {
      if (i != 0) row += '|';
      row += TsharkValues(r.tree.tree, frame, kFields[i]);
    }
    rows.push_back(row);
    EXPECT_EQ(r.tree.tree[r.tree.tree.TopLevel()[0]].end, frame.size());
    ExpectEveryCutWithin(frame);
  }
  EXPECT_EQ(rows, tshark);
}

}  // namespace
}  // namespace qv
