#include "decode/dns.h"

#include <gtest/gtest.h>
#include <pcap/pcap.h>

#include <string>
#include <string_view>
#include <vector>

#include "decode/text_format.h"
#include "decode_helpers.h"

namespace qv {
namespace {

using namespace qv::testing;

const framegen::Mac kDstMac{0x02, 0, 0, 0, 0, 0x02};
const framegen::Mac kSrcMac{0x02, 0, 0, 0, 0, 0x01};
const framegen::Ip4 kClient{192, 0, 2, 10};
const framegen::Ip4 kServer{192, 0, 2, 53};

// Where the message starts after Ethernet II, IPv4 and UDP, and where the
// segment's data starts after a 20-byte TCP header.
constexpr std::uint32_t kUdpPayload = 42;
constexpr std::uint32_t kTcpPayload = 54;

Bytes UdpFrame(std::uint16_t port, std::string_view message) {
  return FrameBuilder()
      .Ethernet(kDstMac, kSrcMac, 0x0800)
      .Ipv4(kClient, kServer, 17)
      .Udp(port == 5353 ? 5353 : 49152, port)
      .Raw(Hex(message))
      .Build();
}
Bytes DnsFrame(std::string_view message) { return UdpFrame(53, message); }
Bytes TcpFrame(std::string_view data) {
  return FrameBuilder()
      .Ethernet(kDstMac, kSrcMac, 0x0800)
      .Ipv4(kClient, kServer, 6)
      .Tcp(49153, 53, 1000, 2000, 0x18)
      .Raw(Hex(data))
      .Build();
}

// --- the messages ---

// www.example.com, type A.
const std::string kQuery = "1a2b 0100 0001 0000 0000 0000 03777777 076578616d706c65 03636f6d 00 0001 0001";
// Its answer: the question, then CNAME web.example.com (pointing into the
// question), and its A and AAAA records named by a pointer to the CNAME's
// target.
const std::string kAnswer =
    "1a2b 8180 0001 0003 0000 0000"
    "03777777 076578616d706c65 03636f6d 00 0001 0001"
    "c00c 0005 0001 00000e10 0006 03776562c010"
    "c02d 0001 0001 0000012c 0004 c0000201"
    "c02d 001c 0001 0000012c 0010 20010db8000000000000000000000001";
// No such name, with the zone's SOA in the authority section.
const std::string kNoSuchName =
    "0042 8183 0001 0000 0001 0000"
    "046e6f7065 076578616d706c65 03636f6d 00 0001 0001"
    "c011 0006 0001 00000384 0027 036e7331c011 0a686f73746d6173746572c011"
    "78a3f175 00001c20 00000e10 00127500 0000012c";
// MX, TXT with two strings, SRV and PTR.
const std::string kMixed =
    "0077 8580 0001 0004 0000 0000"
    "076578616d706c65 03636f6d 00 00ff 0001"
    "c00c 000f 0001 00015180 0009 000a 046d61696cc00c"
    "c00c 0010 0001 0000003c 0018 0b763d73706631202d616c6c 0b68656c6c6f20776f726c64"
    "045f736970045f746370c00c 0021 0001 00000e4d 000c 000a 003c 13c4 03736970c00c"
    "0131013201300331393207696e2d61646472046172706100 000c 0001 00000e10 0007 04686f7374c00c";
// A query with EDNS: payload size 1232, DO set, client subnet 192.0.2.0/24
// and a cookie with the server's part.
const std::string kEdnsQuery =
    "5151 0120 0001 0000 0000 0001"
    "076578616d706c65 036f7267 00 0001 0001"
    "00 0029 04d0 00008000 0027"
    "0008 0007 0001 18 00 c00002"
    "000a 0018 0102030405060708 1112131415161718191a1b1c1d1e1f20";
// HTTPS: priority 1, the owner as target, and every parameter with a name.
const std::string kHttps =
    "6565 8180 0001 0001 0000 0000"
    "076578616d706c65 036e6574 00 0041 0001"
    "c00c 0041 0001 0000012c 0050 0001 00"
    "0000 0004 0001 0004"
    "0001 0006 026832 026833"
    "0002 0000"
    "0003 0002 20fb"
    "0004 0008 c0000201 c0000202"
    "0005 0006 0004fe0d0000"
    "0006 0010 20010db8000000000000000000000001"
    "fde8 0003 616263";
// mDNS: an announcement with the cache-flush bit, and a query with a
// unicast-response question and a multicast one.
const std::string kMdnsResponse =
    "0000 8400 0000 0002 0000 0000"
    "04686f7374 056c6f63616c 00 0001 8001 00000078 0004 c0a80114"
    "c00c 001c 8001 00000078 0010 fe800000000000000000000000000001";
const std::string kMdnsQuery =
    "0000 0000 0002 0000 0000 0000"
    "045f697070 045f746370 056c6f63616c 00 000c 8001"
    "077072696e746572 056c6f63616c 00 0001 0001";
const std::string kLlmnrQuery = "4c4c 0000 0001 0000 0000 0000 04686f7374 00 0001 0001";

struct Decoded {
  TreeDecode tree;
  RecordingScripts scripts;
};

// One decoder on its own at `at`, with every optional decoder on, as UDP or
// TCP would call it.
Decoded DecodeAt(DecoderFn decoder, std::span<const std::uint8_t> frame, std::uint32_t at = kUdpPayload) {
  Decoded out;
  PacketDecoder d(frame, {kLinkTypeEthernet, nullptr, &out.scripts, EnabledDecoders::All()}, &out.tree.tree,
                  DecodeMode::Tree, &out.tree.layerStarts, nullptr);
  d.Dispatch(decoder, at);
  out.tree.text = out.tree.tree.ToText();
  return out;
}

SummaryDecode SummaryAt(DecoderFn decoder, std::span<const std::uint8_t> frame, std::uint32_t at = kUdpPayload) {
  SummaryDecode out;
  PacketDecoder d(frame, {kLinkTypeEthernet, &out.sink, nullptr, EnabledDecoders::All()}, nullptr, DecodeMode::Summary,
                  nullptr, &out.row);
  d.Dispatch(decoder, at);
  return out;
}

// The tree text from the first line that starts with `prefix` on.
std::string From(const std::string& text, std::string_view prefix) {
  if (text.starts_with(prefix)) return text;
  const std::size_t at = text.find("\n" + std::string(prefix));
  return at == std::string::npos ? std::string() : text.substr(at + 1);
}

bool Contains(const std::string& text, std::string_view line) { return text.find(line) != std::string::npos; }

// --- golden trees ---

TEST(Dns, QueryGoldenTree) {
  const Bytes frame = DnsFrame(kQuery);
  const Decoded r = DecodeAt(DecodeDns, frame);
  EXPECT_EQ(r.tree.text,
            "DNS (query) [42,75)\n"
            "  Transaction ID: 0x1a2b [42,44)\n"
            "  Flags: 0x0100 Standard query [44,46)\n"
            "    0... .... .... .... = Response: Message is a query [44,46)\n"
            "    .000 0... .... .... = Opcode: Standard query (0) [44,46)\n"
            "    .... ..0. .... .... = Truncated: Message is not truncated [44,46)\n"
            "    .... ...1 .... .... = Recursion desired: Do query recursively [44,46)\n"
            "    .... .... .0.. .... = Z: reserved (0) [44,46)\n"
            "    .... .... ...0 .... = Non-authenticated data: Unacceptable [44,46)\n"
            "  Questions: 1 [46,48)\n"
            "  Answer RRs: 0 [48,50)\n"
            "  Authority RRs: 0 [50,52)\n"
            "  Additional RRs: 0 [52,54)\n"
            "  Queries [54,75)\n"
            "    www.example.com: type A, class IN [54,75)\n"
            "      Name: www.example.com [54,71)\n"
            "      Type: A (Host Address) (1) [71,73)\n"
            "      Class: IN (0x0001) [73,75)\n");
  EXPECT_EQ(FieldsText(r.tree.tree, frame),
            "dns=DNS (query) [42,75)\n"
            "  dns.id=0x1a2b [42,44)\n"
            "  dns.flags=0x0100 [44,46)\n"
            "    dns.flags.response=0 [44,46)\n"
            "    dns.flags.opcode=0 [44,46)\n"
            "    dns.flags.truncated=0 [44,46)\n"
            "    dns.flags.recdesired=1 [44,46)\n"
            "    dns.flags.z=0 [44,46)\n"
            "    dns.flags.checkdisable=0 [44,46)\n"
            "  dns.count.queries=1 [46,48)\n"
            "  dns.count.answers=0 [48,50)\n"
            "  dns.count.auth_rr=0 [50,52)\n"
            "  dns.count.add_rr=0 [52,54)\n"
            "      dns.qry.name=www.example.com [54,71)\n"
            "      dns.qry.type=1 [71,73)\n"
            "      dns.qry.class=0x0001 [73,75)\n");
  // The message is the whole payload: one layer, nothing for the scripts.
  EXPECT_EQ(r.tree.layerStarts, (std::vector<std::int32_t>{42}));
  EXPECT_TRUE(r.scripts.offers.empty());
}

TEST(Dns, AnswerWithCnameAAndAaaaGoldenTree) {
  const Bytes frame = DnsFrame(kAnswer);
  const Decoded r = DecodeAt(DecodeDns, frame);
  EXPECT_EQ(r.tree.text,
            "DNS (response) [42,137)\n"
            "  Transaction ID: 0x1a2b [42,44)\n"
            "  Flags: 0x8180 Standard query response, No error [44,46)\n"
            "    1... .... .... .... = Response: Message is a response [44,46)\n"
            "    .000 0... .... .... = Opcode: Standard query (0) [44,46)\n"
            "    .... .0.. .... .... = Authoritative: Server is not an authority for domain [44,46)\n"
            "    .... ..0. .... .... = Truncated: Message is not truncated [44,46)\n"
            "    .... ...1 .... .... = Recursion desired: Do query recursively [44,46)\n"
            "    .... .... 1... .... = Recursion available: Server can do recursive queries [44,46)\n"
            "    .... .... .0.. .... = Z: reserved (0) [44,46)\n"
            "    .... .... ..0. .... = Answer authenticated: Answer/authority portion was not authenticated by the "
            "server [44,46)\n"
            "    .... .... ...0 .... = Non-authenticated data: Unacceptable [44,46)\n"
            "    .... .... .... 0000 = Reply code: No error (0) [44,46)\n"
            "  Questions: 1 [46,48)\n"
            "  Answer RRs: 3 [48,50)\n"
            "  Authority RRs: 0 [50,52)\n"
            "  Additional RRs: 0 [52,54)\n"
            "  Queries [54,75)\n"
            "    www.example.com: type A, class IN [54,75)\n"
            "      Name: www.example.com [54,71)\n"
            "      Type: A (Host Address) (1) [71,73)\n"
            "      Class: IN (0x0001) [73,75)\n"
            "  Answers [75,137)\n"
            "    www.example.com: type CNAME, class IN, cname web.example.com [75,93)\n"
            "      Name: www.example.com [75,77)\n"
            "      Type: CNAME (Canonical NAME for an alias) (5) [77,79)\n"
            "      Class: IN (0x0001) [79,81)\n"
            "      Time to live: 3600 (1 hour) [81,85)\n"
            "      Data length: 6 [85,87)\n"
            "      CNAME: web.example.com [87,93)\n"
            "    web.example.com: type A, class IN, addr 192.0.2.1 [93,109)\n"
            "      Name: web.example.com [93,95)\n"
            "      Type: A (Host Address) (1) [95,97)\n"
            "      Class: IN (0x0001) [97,99)\n"
            "      Time to live: 300 (5 minutes) [99,103)\n"
            "      Data length: 4 [103,105)\n"
            "      Address: 192.0.2.1 [105,109)\n"
            "    web.example.com: type AAAA, class IN, addr 2001:db8::1 [109,137)\n"
            "      Name: web.example.com [109,111)\n"
            "      Type: AAAA (IPv6 Address) (28) [111,113)\n"
            "      Class: IN (0x0001) [113,115)\n"
            "      Time to live: 300 (5 minutes) [115,119)\n"
            "      Data length: 16 [119,121)\n"
            "      AAAA Address: 2001:db8::1 [121,137)\n");
  // A name read through a pointer keeps its whole text as its value; its
  // range is the pointer.
  EXPECT_EQ(FieldsText(r.tree.tree, frame),
            "dns=DNS (response) [42,137)\n"
            "  dns.id=0x1a2b [42,44)\n"
            "  dns.flags=0x8180 [44,46)\n"
            "    dns.flags.response=1 [44,46)\n"
            "    dns.flags.opcode=0 [44,46)\n"
            "    dns.flags.authoritative=0 [44,46)\n"
            "    dns.flags.truncated=0 [44,46)\n"
            "    dns.flags.recdesired=1 [44,46)\n"
            "    dns.flags.recavail=1 [44,46)\n"
            "    dns.flags.z=0 [44,46)\n"
            "    dns.flags.authenticated=0 [44,46)\n"
            "    dns.flags.checkdisable=0 [44,46)\n"
            "    dns.flags.rcode=0 [44,46)\n"
            "  dns.count.queries=1 [46,48)\n"
            "  dns.count.answers=3 [48,50)\n"
            "  dns.count.auth_rr=0 [50,52)\n"
            "  dns.count.add_rr=0 [52,54)\n"
            "      dns.qry.name=www.example.com [54,71)\n"
            "      dns.qry.type=1 [71,73)\n"
            "      dns.qry.class=0x0001 [73,75)\n"
            "      dns.resp.name=www.example.com [75,77)\n"
            "      dns.resp.type=5 [77,79)\n"
            "      dns.resp.class=0x0001 [79,81)\n"
            "      dns.resp.ttl=3600 [81,85)\n"
            "      dns.resp.len=6 [85,87)\n"
            "      dns.cname=web.example.com [87,93)\n"
            "      dns.resp.name=web.example.com [93,95)\n"
            "      dns.resp.type=1 [95,97)\n"
            "      dns.resp.class=0x0001 [97,99)\n"
            "      dns.resp.ttl=300 [99,103)\n"
            "      dns.resp.len=4 [103,105)\n"
            "      dns.a=192.0.2.1 [105,109)\n"
            "      dns.resp.name=web.example.com [109,111)\n"
            "      dns.resp.type=28 [111,113)\n"
            "      dns.resp.class=0x0001 [113,115)\n"
            "      dns.resp.ttl=300 [115,119)\n"
            "      dns.resp.len=16 [119,121)\n"
            "      dns.aaaa=2001:db8::1 [121,137)\n");
}

TEST(Dns, NoSuchNameWithSoaInTheAuthoritySection) {
  const Bytes frame = DnsFrame(kNoSuchName);
  const Decoded r = DecodeAt(DecodeDns, frame);
  EXPECT_TRUE(r.tree.text.starts_with("DNS (response) [42,127)\n"
                                      "  Transaction ID: 0x0042 [42,44)\n"
                                      "  Flags: 0x8183 Standard query response, No such name [44,46)\n"));
  EXPECT_TRUE(Contains(r.tree.text, "    .... .... .... 0011 = Reply code: No such name (3) [44,46)\n"));
  EXPECT_EQ(From(r.tree.text, "  Authoritative nameservers"),
            "  Authoritative nameservers [76,127)\n"
            "    example.com: type SOA, class IN, mname ns1.example.com [76,127)\n"
            "      Name: example.com [76,78)\n"
            "      Type: SOA (Start Of a zone of Authority) (6) [78,80)\n"
            "      Class: IN (0x0001) [80,82)\n"
            "      Time to live: 900 (15 minutes) [82,86)\n"
            "      Data length: 39 [86,88)\n"
            "      Primary name server: ns1.example.com [88,94)\n"
            "      Responsible authority's mailbox: hostmaster.example.com [94,107)\n"
            "      Serial Number: 2024010101 [107,111)\n"
            "      Refresh Interval: 7200 (2 hours) [111,115)\n"
            "      Retry Interval: 3600 (1 hour) [115,119)\n"
            "      Expire limit: 1209600 (14 days) [119,123)\n"
            "      Minimum TTL: 300 (5 minutes) [123,127)\n");
  EXPECT_EQ(From(FieldsText(r.tree.tree, frame), "      dns.resp.name"),
            "      dns.resp.name=example.com [76,78)\n"
            "      dns.resp.type=6 [78,80)\n"
            "      dns.resp.class=0x0001 [80,82)\n"
            "      dns.resp.ttl=900 [82,86)\n"
            "      dns.resp.len=39 [86,88)\n"
            "      dns.soa.mname=ns1.example.com [88,94)\n"
            "      dns.soa.rname=hostmaster.example.com [94,107)\n"
            "      dns.soa.serial_number=2024010101 [107,111)\n"
            "      dns.soa.refresh_interval=7200 [111,115)\n"
            "      dns.soa.retry_interval=3600 [115,119)\n"
            "      dns.soa.expire_limit=1209600 [119,123)\n"
            "      dns.soa.minimum_ttl=300 [123,127)\n");
  EXPECT_EQ(FieldValue(r.tree.tree, frame, "dns.flags.rcode"), "3");
}

TEST(Dns, MxTxtSrvAndPtrRecords) {
  const Bytes frame = DnsFrame(kMixed);
  const Decoded r = DecodeAt(DecodeDns, frame);
  EXPECT_EQ(From(r.tree.text, "  Queries"),
            "  Queries [54,71)\n"
            "    example.com: type ANY, class IN [54,71)\n"
            "      Name: example.com [54,67)\n"
            "      Type: ANY (A request for all records the server/cache has available) (255) [67,69)\n"
            "      Class: IN (0x0001) [69,71)\n"
            "  Answers [71,203)\n"
            "    example.com: type MX, class IN, preference 10, mx mail.example.com [71,92)\n"
            "      Name: example.com [71,73)\n"
            "      Type: MX (Mail eXchange) (15) [73,75)\n"
            "      Class: IN (0x0001) [75,77)\n"
            "      Time to live: 86400 (1 day) [77,81)\n"
            "      Data length: 9 [81,83)\n"
            "      Preference: 10 [83,85)\n"
            "      Mail Exchange: mail.example.com [85,92)\n"
            "    example.com: type TXT, class IN [92,128)\n"
            "      Name: example.com [92,94)\n"
            "      Type: TXT (Text strings) (16) [94,96)\n"
            "      Class: IN (0x0001) [96,98)\n"
            "      Time to live: 60 (1 minute) [98,102)\n"
            "      Data length: 24 [102,104)\n"
            "      TXT Length: 11 [104,105)\n"
            "      TXT: v=spf1 -all [105,116)\n"
            "      TXT Length: 11 [116,117)\n"
            "      TXT: hello world [117,128)\n"
            "    _sip._tcp.example.com: type SRV, class IN, priority 10, weight 60, port 5060, target sip.example.com "
            "[128,162)\n"
            "      Name: _sip._tcp.example.com [128,140)\n"
            "      Type: SRV (Server Selection) (33) [140,142)\n"
            "      Class: IN (0x0001) [142,144)\n"
            "      Time to live: 3661 (1 hour, 1 minute, 1 second) [144,148)\n"
            "      Data length: 12 [148,150)\n"
            "      Priority: 10 [150,152)\n"
            "      Weight: 60 [152,154)\n"
            "      Port: 5060 [154,156)\n"
            "      Target: sip.example.com [156,162)\n"
            "    1.2.0.192.in-addr.arpa: type PTR, class IN, host.example.com [162,203)\n"
            "      Name: 1.2.0.192.in-addr.arpa [162,186)\n"
            "      Type: PTR (domain name PoinTeR) (12) [186,188)\n"
            "      Class: IN (0x0001) [188,190)\n"
            "      Time to live: 3600 (1 hour) [190,194)\n"
            "      Data length: 7 [194,196)\n"
            "      Domain Name: host.example.com [196,203)\n");
  EXPECT_EQ(From(FieldsText(r.tree.tree, frame), "      dns.mx.preference"),
            "      dns.mx.preference=10 [83,85)\n"
            "      dns.mx.mail_exchange=mail.example.com [85,92)\n"
            "      dns.resp.name=example.com [92,94)\n"
            "      dns.resp.type=16 [94,96)\n"
            "      dns.resp.class=0x0001 [96,98)\n"
            "      dns.resp.ttl=60 [98,102)\n"
            "      dns.resp.len=24 [102,104)\n"
            "      dns.txt.length=11 [104,105)\n"
            "      dns.txt=v=spf1 -all [105,116)\n"
            "      dns.txt.length=11 [116,117)\n"
            "      dns.txt=hello world [117,128)\n"
            "      dns.resp.name=_sip._tcp.example.com [128,140)\n"
            "      dns.resp.type=33 [140,142)\n"
            "      dns.resp.class=0x0001 [142,144)\n"
            "      dns.resp.ttl=3661 [144,148)\n"
            "      dns.resp.len=12 [148,150)\n"
            "      dns.srv.priority=10 [150,152)\n"
            "      dns.srv.weight=60 [152,154)\n"
            "      dns.srv.port=5060 [154,156)\n"
            "      dns.srv.target=sip.example.com [156,162)\n"
            "      dns.resp.name=1.2.0.192.in-addr.arpa [162,186)\n"
            "      dns.resp.type=12 [186,188)\n"
            "      dns.resp.class=0x0001 [188,190)\n"
            "      dns.resp.ttl=3600 [190,194)\n"
            "      dns.resp.len=7 [194,196)\n"
            "      dns.ptr.domain_name=host.example.com [196,203)\n");
}

TEST(Dns, OptRecordWithClientSubnetAndCookie) {
  const Bytes frame = DnsFrame(kEdnsQuery);
  const Decoded r = DecodeAt(DecodeDns, frame);
  // A query shows the AD bit only when it asks for authenticated data.
  EXPECT_TRUE(Contains(r.tree.text, "    .... .... ..1. .... = AD bit: Set [44,46)\n"));
  EXPECT_EQ(From(r.tree.text, "  Additional records"),
            "  Additional records [71,121)\n"
            "    <Root>: type OPT [71,121)\n"
            "      Name: <Root> [71,72)\n"
            "      Type: OPT (41) [72,74)\n"
            "      UDP payload size: 1232 [74,76)\n"
            "      Higher bits in extended RCODE: 0x00 [76,77)\n"
            "      EDNS0 version: 0 [77,78)\n"
            "      Z: 0x8000 [78,80)\n"
            "        1... .... .... .... = DO bit: Accepts DNSSEC security RRs [78,80)\n"
            "        .000 0000 0000 0000 = Reserved: 0x0000 [78,80)\n"
            "      Data length: 39 [80,82)\n"
            "      Option: CSUBNET - Client subnet [82,93)\n"
            "        Option Code: CSUBNET - Client subnet (8) [82,84)\n"
            "        Option Length: 7 [84,86)\n"
            "        Option Data: 00011800c00002 [86,93)\n"
            "        Family: IPv4 (1) [86,88)\n"
            "        Source Netmask: 24 [88,89)\n"
            "        Scope Netmask: 0 [89,90)\n"
            "        Client Subnet: 192.0.2.0 [90,93)\n"
            "      Option: COOKIE [93,121)\n"
            "        Option Code: COOKIE (10) [93,95)\n"
            "        Option Length: 24 [95,97)\n"
            "        Option Data: 01020304050607081112131415161718191a1b1c1d1e1f20 [97,121)\n"
            "        Client Cookie: 0102030405060708 [97,105)\n"
            "        Server Cookie: 1112131415161718191a1b1c1d1e1f20 [105,121)\n");
  // The address prefix of three bytes is the whole address with zeros after it.
  EXPECT_EQ(From(FieldsText(r.tree.tree, frame), "      dns.resp.name"),
            "      dns.resp.name=<Root> [71,72)\n"
            "      dns.resp.type=41 [72,74)\n"
            "      dns.rr.udp_payload_size=1232 [74,76)\n"
            "      dns.resp.ext_rcode=0x00 [76,77)\n"
            "      dns.resp.edns0_version=0 [77,78)\n"
            "      dns.resp.z=0x8000 [78,80)\n"
            "        dns.resp.z.do=1 [78,80)\n"
            "        dns.resp.z.reserved=0x0000 [78,80)\n"
            "      dns.resp.len=39 [80,82)\n"
            "      dns.opt= [82,93)\n"
            "        dns.opt.code=8 [82,84)\n"
            "        dns.opt.len=7 [84,86)\n"
            "        dns.opt.data=00011800c00002 [86,93)\n"
            "        dns.opt.client.family=1 [86,88)\n"
            "        dns.opt.client.netmask=24 [88,89)\n"
            "        dns.opt.client.scope=0 [89,90)\n"
            "        dns.opt.client.addr4=192.0.2.0 [90,93)\n"
            "      dns.opt= [93,121)\n"
            "        dns.opt.code=10 [93,95)\n"
            "        dns.opt.len=24 [95,97)\n"
            "        dns.opt.data=01020304050607081112131415161718191a1b1c1d1e1f20 [97,121)\n"
            "        dns.opt.cookie.client=0102030405060708 [97,105)\n"
            "        dns.opt.cookie.server=1112131415161718191a1b1c1d1e1f20 [105,121)\n");
}

TEST(Dns, ClientSubnetOfEachFamily) {
  struct Case {
    std::string_view option;  // after the OPT record's data length
    std::string_view field;
    std::string_view value;
  };
  const Case cases[] = {
      // 2001:db8:0:1::/56 with seven bytes of address.
      {"000f 0008 000b 0002 38 00 20010db8000001", "dns.opt.client.addr6", "2001:db8:0:100::"},
      {"000b 0008 0007 0001 18 00 c00002", "dns.opt.client.addr4", "192.0.2.0"},
      // More address than the family has, and a family without a name.
      {"000d 0008 0009 0001 20 00 c000020102", "dns.opt.client.addr", "c000020102"},
      {"000a 0008 0006 0003 10 00 abcd", "dns.opt.client.addr", "abcd"},
      // A prefix of length 0 has no address bytes.
      {"0008 0008 0004 0001 00 00", "dns.opt.client.addr4", "<absent>"},
  };
  for (const Case& c : cases) {
    const Bytes frame = DnsFrame("5151 0100 0000 0000 0000 0001 00 0029 04d0 00000000 " + std::string(c.option));
    const Decoded r = DecodeAt(DecodeDns, frame);
    EXPECT_EQ(FieldValue(r.tree.tree, frame, c.field), c.value) << c.option << "\n" << r.tree.text;
    EXPECT_EQ(FieldValue(r.tree.tree, frame, "dns.data"), "<absent>") << r.tree.text;
  }
}

TEST(Dns, ExtendedRcodeFromTheOptRecord) {
  // BADCOOKIE: 1 in the OPT record's higher bits, 7 in the header.
  const Bytes frame = DnsFrame("f6ab 8187 0000 0000 0000 0001 00 0029 1000 01000000 0000");
  const Decoded r = DecodeAt(DecodeDns, frame);
  EXPECT_TRUE(Contains(r.tree.text, "    .... .... .... 0111 = Reply code: RRset exists (7) [44,46)\n"));
  EXPECT_TRUE(Contains(r.tree.text,
                       "      Higher bits in extended RCODE: 0x01 [59,60)\n"
                       "      Extended RCODE: BADCOOKIE (23)\n"
                       "      EDNS0 version: 0 [60,61)\n"))
      << r.tree.text;
  EXPECT_EQ(FieldValue(r.tree.tree, frame, "dns.resp.extended_rcode"), "23");
}

TEST(Dns, HttpsRecordWithEveryNamedParameter) {
  const Bytes frame = DnsFrame(kHttps);
  const Decoded r = DecodeAt(DecodeDns, frame);
  EXPECT_EQ(From(r.tree.text, "  Answers"),
            "  Answers [71,163)\n"
            "    example.net: type HTTPS, class IN [71,163)\n"
            "      Name: example.net [71,73)\n"
            "      Type: HTTPS (HTTPS Service Endpoints) (65) [73,75)\n"
            "      Class: IN (0x0001) [75,77)\n"
            "      Time to live: 300 (5 minutes) [77,81)\n"
            "      Data length: 80 [81,83)\n"
            "      SvcPriority: 1 [83,85)\n"
            "      TargetName: <Root> [85,86)\n"
            "      SvcParam: mandatory=alpn,ipv4hint [86,94)\n"
            "        SvcParamKey: mandatory (0) [86,88)\n"
            "        SvcParamValue length: 4 [88,90)\n"
            "        Mandatory key: alpn (1) [90,92)\n"
            "        Mandatory key: ipv4hint (4) [92,94)\n"
            "      SvcParam: alpn=h2,h3 [94,104)\n"
            "        SvcParamKey: alpn (1) [94,96)\n"
            "        SvcParamValue length: 6 [96,98)\n"
            "        ALPN length: 2 [98,99)\n"
            "        ALPN: h2 [99,101)\n"
            "        ALPN length: 2 [101,102)\n"
            "        ALPN: h3 [102,104)\n"
            "      SvcParam: no-default-alpn [104,108)\n"
            "        SvcParamKey: no-default-alpn (2) [104,106)\n"
            "        SvcParamValue length: 0 [106,108)\n"
            "      SvcParam: port=8443 [108,114)\n"
            "        SvcParamKey: port (3) [108,110)\n"
            "        SvcParamValue length: 2 [110,112)\n"
            "        Port: 8443 [112,114)\n"
            "      SvcParam: ipv4hint=192.0.2.1,192.0.2.2 [114,126)\n"
            "        SvcParamKey: ipv4hint (4) [114,116)\n"
            "        SvcParamValue length: 8 [116,118)\n"
            "        IP: 192.0.2.1 [118,122)\n"
            "        IP: 192.0.2.2 [122,126)\n"
            "      SvcParam: ech=AAT+DQAA [126,136)\n"
            "        SvcParamKey: ech (5) [126,128)\n"
            "        SvcParamValue length: 6 [128,130)\n"
            "        ECHConfig: AAT+DQAA [130,136)\n"
            "      SvcParam: ipv6hint=2001:db8::1 [136,156)\n"
            "        SvcParamKey: ipv6hint (6) [136,138)\n"
            "        SvcParamValue length: 16 [138,140)\n"
            "        IP: 2001:db8::1 [140,156)\n"
            "      SvcParam: key65000=abc [156,163)\n"
            "        SvcParamKey: Unknown (65000) [156,158)\n"
            "        SvcParamValue length: 3 [158,160)\n"
            "        SvcParamValue: 616263 [160,163)\n");
  EXPECT_EQ(From(FieldsText(r.tree.tree, frame), "      dns.svcb.svcpriority"),
            "      dns.svcb.svcpriority=1 [83,85)\n"
            "      dns.svcb.targetname=<Root> [85,86)\n"
            "      dns.svcb.svcparam= [86,94)\n"
            "        dns.svcb.svcparam.key=0 [86,88)\n"
            "        dns.svcb.svcparam.value.length=4 [88,90)\n"
            "        dns.svcb.svcparam.mandatory.key=1 [90,92)\n"
            "        dns.svcb.svcparam.mandatory.key=4 [92,94)\n"
            "      dns.svcb.svcparam= [94,104)\n"
            "        dns.svcb.svcparam.key=1 [94,96)\n"
            "        dns.svcb.svcparam.value.length=6 [96,98)\n"
            "        dns.svcb.svcparam.alpn.length=2 [98,99)\n"
            "        dns.svcb.svcparam.alpn=h2 [99,101)\n"
            "        dns.svcb.svcparam.alpn.length=2 [101,102)\n"
            "        dns.svcb.svcparam.alpn=h3 [102,104)\n"
            "      dns.svcb.svcparam= [104,108)\n"
            "        dns.svcb.svcparam.key=2 [104,106)\n"
            "        dns.svcb.svcparam.value.length=0 [106,108)\n"
            "      dns.svcb.svcparam= [108,114)\n"
            "        dns.svcb.svcparam.key=3 [108,110)\n"
            "        dns.svcb.svcparam.value.length=2 [110,112)\n"
            "        dns.svcb.svcparam.port=8443 [112,114)\n"
            "      dns.svcb.svcparam= [114,126)\n"
            "        dns.svcb.svcparam.key=4 [114,116)\n"
            "        dns.svcb.svcparam.value.length=8 [116,118)\n"
            "        dns.svcb.svcparam.ipv4hint.ip=192.0.2.1 [118,122)\n"
            "        dns.svcb.svcparam.ipv4hint.ip=192.0.2.2 [122,126)\n"
            "      dns.svcb.svcparam= [126,136)\n"
            "        dns.svcb.svcparam.key=5 [126,128)\n"
            "        dns.svcb.svcparam.value.length=6 [128,130)\n"
            "        dns.svcb.svcparam.echconfig=0004fe0d0000 [130,136)\n"
            "      dns.svcb.svcparam= [136,156)\n"
            "        dns.svcb.svcparam.key=6 [136,138)\n"
            "        dns.svcb.svcparam.value.length=16 [138,140)\n"
            "        dns.svcb.svcparam.ipv6hint.ip=2001:db8::1 [140,156)\n"
            "      dns.svcb.svcparam= [156,163)\n"
            "        dns.svcb.svcparam.key=65000 [156,158)\n"
            "        dns.svcb.svcparam.value.length=3 [158,160)\n"
            "        dns.svcb.svcparam.value=616263 [160,163)\n");
}

TEST(Dns, SvcbAliasModeNamesItsTarget) {
  const Bytes frame = DnsFrame(
      "6566 8180 0000 0001 0000 0000 045f646e73076578616d706c65036e657400 0040 0001 0000012c 0013 0000"
      "03737663076578616d706c65036e657400");
  const Decoded r = DecodeAt(DecodeDns, frame);
  EXPECT_EQ(From(r.tree.text, "      SvcPriority"),
            "      SvcPriority: 0 [82,84)\n"
            "      TargetName: svc.example.net [84,101)\n");
  EXPECT_TRUE(Contains(r.tree.text, "    _dns.example.net: type SVCB, class IN [54,101)\n")) << r.tree.text;
}

TEST(Mdns, ResponseWithTheCacheFlushBit) {
  const Bytes frame = UdpFrame(5353, kMdnsResponse);
  const Decoded r = DecodeAt(DecodeMdns, frame);
  EXPECT_EQ(r.tree.text,
            "MDNS (response) [42,108)\n"
            "  Transaction ID: 0x0000 [42,44)\n"
            "  Flags: 0x8400 Standard query response, No error [44,46)\n"
            "    1... .... .... .... = Response: Message is a response [44,46)\n"
            "    .000 0... .... .... = Opcode: Standard query (0) [44,46)\n"
            "    .... .1.. .... .... = Authoritative: Server is an authority for domain [44,46)\n"
            "    .... ..0. .... .... = Truncated: Message is not truncated [44,46)\n"
            "    .... ...0 .... .... = Recursion desired: Don't do query recursively [44,46)\n"
            "    .... .... 0... .... = Recursion available: Server can't do recursive queries [44,46)\n"
            "    .... .... .0.. .... = Z: reserved (0) [44,46)\n"
            "    .... .... ..0. .... = Answer authenticated: Answer/authority portion was not authenticated by the "
            "server [44,46)\n"
            "    .... .... ...0 .... = Non-authenticated data: Unacceptable [44,46)\n"
            "    .... .... .... 0000 = Reply code: No error (0) [44,46)\n"
            "  Questions: 0 [46,48)\n"
            "  Answer RRs: 2 [48,50)\n"
            "  Authority RRs: 0 [50,52)\n"
            "  Additional RRs: 0 [52,54)\n"
            "  Answers [54,108)\n"
            "    host.local: type A, class IN, cache flush, addr 192.168.1.20 [54,80)\n"
            "      Name: host.local [54,66)\n"
            "      Type: A (Host Address) (1) [66,68)\n"
            "      .000 0000 0000 0001 = Class: IN (0x0001) [68,70)\n"
            "      1... .... .... .... = Cache flush: True [68,70)\n"
            "      Time to live: 120 (2 minutes) [70,74)\n"
            "      Data length: 4 [74,76)\n"
            "      Address: 192.168.1.20 [76,80)\n"
            "    host.local: type AAAA, class IN, cache flush, addr fe80::1 [80,108)\n"
            "      Name: host.local [80,82)\n"
            "      Type: AAAA (IPv6 Address) (28) [82,84)\n"
            "      .000 0000 0000 0001 = Class: IN (0x0001) [84,86)\n"
            "      1... .... .... .... = Cache flush: True [84,86)\n"
            "      Time to live: 120 (2 minutes) [86,90)\n"
            "      Data length: 16 [90,92)\n"
            "      AAAA Address: fe80::1 [92,108)\n");
  // tshark's fields under the mdns protocol: the class without its top bit.
  EXPECT_EQ(From(FieldsText(r.tree.tree, frame), "      dns.resp.name"),
            "      dns.resp.name=host.local [54,66)\n"
            "      dns.resp.type=1 [66,68)\n"
            "      dns.resp.class=0x0001 [68,70)\n"
            "      dns.resp.cache_flush=1 [68,70)\n"
            "      dns.resp.ttl=120 [70,74)\n"
            "      dns.resp.len=4 [74,76)\n"
            "      dns.a=192.168.1.20 [76,80)\n"
            "      dns.resp.name=host.local [80,82)\n"
            "      dns.resp.type=28 [82,84)\n"
            "      dns.resp.class=0x0001 [84,86)\n"
            "      dns.resp.cache_flush=1 [84,86)\n"
            "      dns.resp.ttl=120 [86,90)\n"
            "      dns.resp.len=16 [90,92)\n"
            "      dns.aaaa=fe80::1 [92,108)\n");
  EXPECT_TRUE(FieldsText(r.tree.tree, frame).starts_with("mdns=MDNS (response) [42,108)\n"));
  EXPECT_EQ(r.tree.layerStarts, (std::vector<std::int32_t>{42}));
}

TEST(Mdns, QuestionsAskForUnicastOrMulticastResponses) {
  const Bytes frame = UdpFrame(5353, kMdnsQuery);
  const Decoded r = DecodeAt(DecodeMdns, frame);
  EXPECT_EQ(From(r.tree.text, "  Queries"),
            "  Queries [54,94)\n"
            "    _ipp._tcp.local: type PTR, class IN, \"QU\" question [54,75)\n"
            "      Name: _ipp._tcp.local [54,71)\n"
            "      Type: PTR (domain name PoinTeR) (12) [71,73)\n"
            "      .000 0000 0000 0001 = Class: IN (0x0001) [73,75)\n"
            "      1... .... .... .... = \"QU\" question: True [73,75)\n"
            "    printer.local: type A, class IN, \"QM\" question [75,94)\n"
            "      Name: printer.local [75,90)\n"
            "      Type: A (Host Address) (1) [90,92)\n"
            "      .000 0000 0000 0001 = Class: IN (0x0001) [92,94)\n"
            "      0... .... .... .... = \"QU\" question: False [92,94)\n");
  EXPECT_EQ(FieldValues(r.tree.tree, frame, "dns.qry.class"), "0x0001,0x0001");
  EXPECT_EQ(FieldValues(r.tree.tree, frame, "dns.qry.qu"), "1,0");
  // A query leaves out the flags that only answers carry.
  EXPECT_EQ(FieldValues(r.tree.tree, frame, "dns.flags.authoritative"), "");
  EXPECT_EQ(FieldValues(r.tree.tree, frame, "dns.flags.rcode"), "");
  // Plain DNS on the same bytes keeps the top bit in the class.
  EXPECT_EQ(FieldValues(DecodeAt(DecodeDns, frame).tree.tree, frame, "dns.qry.class"), "0x8001,0x0001");
}

TEST(Llmnr, QueryGoldenTreeAndTheFlagsOfAResponse) {
  const Bytes frame = UdpFrame(5355, kLlmnrQuery);
  const Decoded r = DecodeAt(DecodeLlmnr, frame);
  EXPECT_EQ(r.tree.text,
            "LLMNR (query) [42,64)\n"
            "  Transaction ID: 0x4c4c [42,44)\n"
            "  Flags: 0x0000 Standard query [44,46)\n"
            "    0... .... .... .... = Response: Message is a query [44,46)\n"
            "    .000 0... .... .... = Opcode: Standard query (0) [44,46)\n"
            "    .... .0.. .... .... = Conflict: None [44,46)\n"
            "    .... ..0. .... .... = Truncated: Message is not truncated [44,46)\n"
            "    .... ...0 .... .... = Tentative: Not tentative [44,46)\n"
            "  Questions: 1 [46,48)\n"
            "  Answer RRs: 0 [48,50)\n"
            "  Authority RRs: 0 [50,52)\n"
            "  Additional RRs: 0 [52,54)\n"
            "  Queries [54,64)\n"
            "    host: type A, class IN [54,64)\n"
            "      Name: host [54,60)\n"
            "      Type: A (Host Address) (1) [60,62)\n"
            "      Class: IN (0x0001) [62,64)\n");
  EXPECT_EQ(FieldsText(r.tree.tree, frame),
            "llmnr=LLMNR (query) [42,64)\n"
            "  dns.id=0x4c4c [42,44)\n"
            "  dns.flags=0x0000 [44,46)\n"
            "    dns.flags.response=0 [44,46)\n"
            "    dns.flags.opcode=0 [44,46)\n"
            "    dns.flags.conflict=0 [44,46)\n"
            "    dns.flags.truncated=0 [44,46)\n"
            "    dns.flags.tentative=0 [44,46)\n"
            "  dns.count.queries=1 [46,48)\n"
            "  dns.count.answers=0 [48,50)\n"
            "  dns.count.auth_rr=0 [50,52)\n"
            "  dns.count.add_rr=0 [52,54)\n"
            "      dns.qry.name=host [54,60)\n"
            "      dns.qry.type=1 [60,62)\n"
            "      dns.qry.class=0x0001 [62,64)\n");

  const Bytes response = UdpFrame(5355, "4c4c 8500 0001 0001 0000 0000 04686f737400 0001 0001"
                                        "c00c 0001 0001 0000001e 0004 c0a80115");
  const Decoded a = DecodeAt(DecodeLlmnr, response);
  EXPECT_EQ(From(a.tree.text, "  Flags"),
            "  Flags: 0x8500 Standard query response, No error [44,46)\n"
            "    1... .... .... .... = Response: Message is a response [44,46)\n"
            "    .000 0... .... .... = Opcode: Standard query (0) [44,46)\n"
            "    .... .1.. .... .... = Conflict: The name is not considered unique [44,46)\n"
            "    .... ..0. .... .... = Truncated: Message is not truncated [44,46)\n"
            "    .... ...1 .... .... = Tentative: Tentative [44,46)\n"
            "    .... .... .... 0000 = Reply code: No error (0) [44,46)\n"
            "  Questions: 1 [46,48)\n"
            "  Answer RRs: 1 [48,50)\n"
            "  Authority RRs: 0 [50,52)\n"
            "  Additional RRs: 0 [52,54)\n"
            "  Queries [54,64)\n"
            "    host: type A, class IN [54,64)\n"
            "      Name: host [54,60)\n"
            "      Type: A (Host Address) (1) [60,62)\n"
            "      Class: IN (0x0001) [62,64)\n"
            "  Answers [64,80)\n"
            "    host: type A, class IN, addr 192.168.1.21 [64,80)\n"
            "      Name: host [64,66)\n"
            "      Type: A (Host Address) (1) [66,68)\n"
            "      Class: IN (0x0001) [68,70)\n"
            "      Time to live: 30 (30 seconds) [70,74)\n"
            "      Data length: 4 [74,76)\n"
            "      Address: 192.168.1.21 [76,80)\n");
}

TEST(Dns, UpdateNamesItsSectionsAfterWhatTheyCarry) {
  // Zone example.com SOA; one update: add www A 192.0.2.7.
  const Bytes frame = DnsFrame(
      "0909 2800 0001 0000 0001 0000 076578616d706c6503636f6d00 0006 0001"
      "03777777c00c 0001 0001 00000e10 0004 c0000207");
  const Decoded r = DecodeAt(DecodeDns, frame);
  EXPECT_EQ(From(r.tree.text, "  Flags"),
            "  Flags: 0x2800 Dynamic update [44,46)\n"
            "    0... .... .... .... = Response: Message is a query [44,46)\n"
            "    .010 1... .... .... = Opcode: Dynamic update (5) [44,46)\n"
            "    .... ..0. .... .... = Truncated: Message is not truncated [44,46)\n"
            "    .... ...0 .... .... = Recursion desired: Don't do query recursively [44,46)\n"
            "    .... .... .0.. .... = Z: reserved (0) [44,46)\n"
            "    .... .... ...0 .... = Non-authenticated data: Unacceptable [44,46)\n"
            "  Zones: 1 [46,48)\n"
            "  Prerequisites: 0 [48,50)\n"
            "  Updates: 1 [50,52)\n"
            "  Additional RRs: 0 [52,54)\n"
            "  Zone [54,71)\n"
            "    example.com: type SOA, class IN [54,71)\n"
            "      Name: example.com [54,67)\n"
            "      Type: SOA (Start Of a zone of Authority) (6) [67,69)\n"
            "      Class: IN (0x0001) [69,71)\n"
            "  Updates [71,91)\n"
            "    www.example.com: type A, class IN, addr 192.0.2.7 [71,91)\n"
            "      Name: www.example.com [71,77)\n"
            "      Type: A (Host Address) (1) [77,79)\n"
            "      Class: IN (0x0001) [79,81)\n"
            "      Time to live: 3600 (1 hour) [81,85)\n"
            "      Data length: 4 [85,87)\n"
            "      Address: 192.0.2.7 [87,91)\n");
  EXPECT_EQ(FieldValue(r.tree.tree, frame, "dns.count.zones"), "1");
  EXPECT_EQ(FieldValue(r.tree.tree, frame, "dns.count.updates"), "1");
  EXPECT_EQ(FieldValue(r.tree.tree, frame, "dns.count.queries"), "<absent>");
}

// --- DNS over TCP ---

// The query and the answer above, each after its length.
const std::string kTwoMessages = "0021 " + kQuery + " 005f " + kAnswer;
// The answer's first 20 bytes only: the rest comes in a later segment.
const std::string kSecondCut = "0021 " + kQuery + " 005f 1a2b 8180 0001 0003 0000 0000 03777777 07657861";

TEST(DnsOverTcp, TwoMessagesInOneSegment) {
  const Bytes frame = TcpFrame(kTwoMessages);
  const Decoded r = DecodeAt(DecodeDnsOverTcp, frame, kTcpPayload);
  // Each message is a layer of its own, with its length first; the ranges
  // and names are those of the message, whose offsets count from its header.
  const std::vector<NodeId> top = r.tree.tree.TopLevel();
  ASSERT_EQ(top.size(), 2u) << r.tree.text;
  EXPECT_EQ(r.tree.layerStarts, (std::vector<std::int32_t>{54, 89}));
  EXPECT_TRUE(r.tree.text.starts_with("DNS (query) [54,89)\n"
                                      "  Length: 33 [54,56)\n"
                                      "  Transaction ID: 0x1a2b [56,58)\n"
                                      "  Flags: 0x0100 Standard query [58,60)\n"))
      << r.tree.text;
  EXPECT_EQ(From(r.tree.text, "DNS (response)"),
            "DNS (response) [89,186)\n"
            "  Length: 95 [89,91)\n"
            "  Transaction ID: 0x1a2b [91,93)\n"
            "  Flags: 0x8180 Standard query response, No error [93,95)\n"
            "    1... .... .... .... = Response: Message is a response [93,95)\n"
            "    .000 0... .... .... = Opcode: Standard query (0) [93,95)\n"
            "    .... .0.. .... .... = Authoritative: Server is not an authority for domain [93,95)\n"
            "    .... ..0. .... .... = Truncated: Message is not truncated [93,95)\n"
            "    .... ...1 .... .... = Recursion desired: Do query recursively [93,95)\n"
            "    .... .... 1... .... = Recursion available: Server can do recursive queries [93,95)\n"
            "    .... .... .0.. .... = Z: reserved (0) [93,95)\n"
            "    .... .... ..0. .... = Answer authenticated: Answer/authority portion was not authenticated by the "
            "server [93,95)\n"
            "    .... .... ...0 .... = Non-authenticated data: Unacceptable [93,95)\n"
            "    .... .... .... 0000 = Reply code: No error (0) [93,95)\n"
            "  Questions: 1 [95,97)\n"
            "  Answer RRs: 3 [97,99)\n"
            "  Authority RRs: 0 [99,101)\n"
            "  Additional RRs: 0 [101,103)\n"
            "  Queries [103,124)\n"
            "    www.example.com: type A, class IN [103,124)\n"
            "      Name: www.example.com [103,120)\n"
            "      Type: A (Host Address) (1) [120,122)\n"
            "      Class: IN (0x0001) [122,124)\n"
            "  Answers [124,186)\n"
            "    www.example.com: type CNAME, class IN, cname web.example.com [124,142)\n"
            "      Name: www.example.com [124,126)\n"
            "      Type: CNAME (Canonical NAME for an alias) (5) [126,128)\n"
            "      Class: IN (0x0001) [128,130)\n"
            "      Time to live: 3600 (1 hour) [130,134)\n"
            "      Data length: 6 [134,136)\n"
            "      CNAME: web.example.com [136,142)\n"
            "    web.example.com: type A, class IN, addr 192.0.2.1 [142,158)\n"
            "      Name: web.example.com [142,144)\n"
            "      Type: A (Host Address) (1) [144,146)\n"
            "      Class: IN (0x0001) [146,148)\n"
            "      Time to live: 300 (5 minutes) [148,152)\n"
            "      Data length: 4 [152,154)\n"
            "      Address: 192.0.2.1 [154,158)\n"
            "    web.example.com: type AAAA, class IN, addr 2001:db8::1 [158,186)\n"
            "      Name: web.example.com [158,160)\n"
            "      Type: AAAA (IPv6 Address) (28) [160,162)\n"
            "      Class: IN (0x0001) [162,164)\n"
            "      Time to live: 300 (5 minutes) [164,168)\n"
            "      Data length: 16 [168,170)\n"
            "      AAAA Address: 2001:db8::1 [170,186)\n");
  EXPECT_EQ(FieldValues(r.tree.tree, frame, "dns.length"), "33,95");
  EXPECT_EQ(FieldValues(r.tree.tree, frame, "dns.id"), "0x1a2b,0x1a2b");
  // The first message ends before the second one's length: its question
  // is all it has, with no bytes left over.
  EXPECT_FALSE(Contains(r.tree.text, "Extraneous")) << r.tree.text;
}

TEST(DnsOverTcp, AMessageCutByTheSegmentsEndIsMarkedContinued) {
  const Bytes frame = TcpFrame(kSecondCut);
  const Decoded r = DecodeAt(DecodeDnsOverTcp, frame, kTcpPayload);
  EXPECT_EQ(r.tree.layerStarts, (std::vector<std::int32_t>{54, 89}));
  const std::string second = From(r.tree.text, "DNS (response)");
  EXPECT_TRUE(second.starts_with("DNS (response) [89,111)\n  Length: 95 [89,91)\n")) << second;
  EXPECT_EQ(From(second, "  Queries"),
            "  Queries [103,111)\n"
            "    www [the message ends inside the name] [103,111)\n"
            "      Name: www [the message ends inside the name] [103,111)\n"
            "  Continued in a later segment: 20 of the message's 95 bytes are here\n");

  // A segment that ends inside the length itself.
  const Bytes oneByte = TcpFrame("00");
  EXPECT_EQ(DecodeAt(DecodeDnsOverTcp, oneByte, kTcpPayload).tree.text,
            "DNS [54,55)\n"
            "  Continued in a later segment: its length is cut\n");
}

TEST(DnsOverTcp, AnEmptyMessageStillAdvances) {
  const Bytes frame = TcpFrame("0000 0000 0021 " + kQuery);
  const Decoded r = DecodeAt(DecodeDnsOverTcp, frame, kTcpPayload);
  EXPECT_EQ(r.tree.layerStarts, (std::vector<std::int32_t>{54, 56, 58}));
  EXPECT_TRUE(r.tree.text.starts_with("DNS [54,56)\n"
                                      "  Length: 0 [54,56)\n"
                                      "DNS [56,58)\n"
                                      "  Length: 0 [56,58)\n"
                                      "DNS (query) [58,93)\n"))
      << r.tree.text;
}

TEST(DnsOverTcp, TheLengthBoundsTheMessage) {
  // The HTTPS response claims 80 of its 121 bytes: its record stops there,
  // and the bytes after it are read as the next message.
  const Bytes frame = TcpFrame("0000 0050 " + kHttps);
  const Decoded r = DecodeAt(DecodeDnsOverTcp, frame, kTcpPayload);
  const std::vector<NodeId> top = r.tree.tree.TopLevel();
  ASSERT_GE(top.size(), 3u) << r.tree.text;
  EXPECT_EQ(r.tree.tree[top[1]].text, "DNS (response)");
  EXPECT_EQ(r.tree.tree[top[1]].end, 138u);
  EXPECT_TRUE(Contains(r.tree.text, "      Data length: 80 [only 39 bytes in the message] [97,99)\n")) << r.tree.text;
  for (NodeId id = top[1] + 1; id < top[2]; ++id) EXPECT_LE(r.tree.tree[id].end, 138u) << r.tree.tree[id].text;
  EXPECT_EQ(r.tree.layerStarts[2], 138);
}

// --- the row and the statistics ---

TEST(Dns, SummaryNamesTheProtocolOnce) {
  struct Case {
    DecoderFn decoder;
    Bytes frame;
    std::uint32_t at;
    const char* chain;
    const char* counted;
  };
  const Case cases[] = {
      {DecodeDns, DnsFrame(kAnswer), kUdpPayload, "DNS ", "DNS/4"},
      {DecodeMdns, UdpFrame(5353, kMdnsResponse), kUdpPayload, "MDNS ", "MDNS/4"},
      {DecodeLlmnr, UdpFrame(5355, kLlmnrQuery), kUdpPayload, "LLMNR ", "LLMNR/4"},
      // Two messages in one segment are one DNS in the row and in the statistics.
      {DecodeDnsOverTcp, TcpFrame(kTwoMessages), kTcpPayload, "DNS ", "DNS/4"},
  };
  for (const Case& c : cases) {
    const SummaryDecode s = SummaryAt(c.decoder, c.frame, c.at);
    EXPECT_EQ(s.row.ProtocolsText(), c.chain);
    EXPECT_EQ(s.sink.protocols, (std::vector<std::string>{c.counted}));
    EXPECT_TRUE(s.sink.samples.empty());
  }
}

// The UDP and TCP decoders hand port 53 (and 5353, 5355) to these when the
// DNS decoder is on; the tests of the whole chain wait for that.
bool DnsReached(std::span<const std::uint8_t> frame) {
  return Contains(DecodeTreeOf(frame, nullptr, EnabledDecoders::All()).text, "\nDNS (");
}

// The names a response gives addresses, as the statistics hear them.
TEST(Dns, SummaryReportsTheAddressOfEachAnswerWithTheNameAsked) {
  struct Case {
    const char* what;
    DecoderFn decoder;
    Bytes frame;
    std::uint32_t at;
    std::vector<std::string> names;
  };
  const std::vector<std::string> example = {"DNS answer: 192.0.2.1 = www.example.com",
                                            "DNS answer: 2001:db8::1 = www.example.com"};
  const Case cases[] = {
      // The CNAME's target owns the addresses; the name asked for is the one
      // the client goes on to use.
      {"A and AAAA after a CNAME", DecodeDns, DnsFrame(kAnswer), kUdpPayload, example},
      {"a query", DecodeDns, DnsFrame(kQuery), kUdpPayload, {}},
      {"no such name", DecodeDns, DnsFrame(kNoSuchName), kUdpPayload, {}},
      {"records of other types", DecodeDns, DnsFrame(kMixed), kUdpPayload, {}},
      {"addresses in an HTTPS record's hints", DecodeDns, DnsFrame(kHttps), kUdpPayload, {}},
      {"no question: the record's own name", DecodeDns,
       DnsFrame("0001 8180 0000 0001 0000 0000 04686f7374 00 0001 0001 0000003c 0004 0a000001"), kUdpPayload,
       {"DNS answer: 10.0.0.1 = host"}},
      {"a class other than IN", DecodeDns,
       DnsFrame("0001 8180 0000 0001 0000 0000 04686f7374 00 0001 0003 0000003c 0004 0a000001"), kUdpPayload, {}},
      {"an A record of the wrong length", DecodeDns,
       DnsFrame("0001 8180 0000 0001 0000 0000 04686f7374 00 0001 0001 0000003c 0005 0a00000100"), kUdpPayload, {}},
      {"an A record in the additional section", DecodeDns,
       DnsFrame("0001 8180 0000 0000 0000 0001 04686f7374 00 0001 0001 0000003c 0004 0a000001"), kUdpPayload, {}},
      {"the response to an update", DecodeDns,
       DnsFrame("0001 a800 0000 0001 0000 0000 04686f7374 00 0001 0001 0000003c 0004 0a000001"), kUdpPayload, {}},
      {"mDNS, with the cache-flush bit", DecodeMdns, UdpFrame(5353, kMdnsResponse), kUdpPayload,
       {"mDNS answer: 192.168.1.20 = host.local", "mDNS answer: fe80::1 = host.local"}},
      // mDNS answers what it likes, whatever was asked.
      {"mDNS names by the record", DecodeMdns,
       UdpFrame(5353, "0000 8400 0001 0001 0000 0000 077072696e746572 056c6f63616c 00 0001 0001"
                      "056f74686572 c014 0001 8001 00000078 0004 c0a80115"),
       kUdpPayload, {"mDNS answer: 192.168.1.21 = other.local"}},
      {"an mDNS query", DecodeMdns, UdpFrame(5353, kMdnsQuery), kUdpPayload, {}},
      {"LLMNR", DecodeLlmnr,
       UdpFrame(5355, "4c4c 8000 0001 0001 0000 0000 04686f7374 00 0001 0001 c00c 0001 0001 0000001e 0004 c0a80105"),
       kUdpPayload, {"LLMNR answer: 192.168.1.5 = host"}},
      {"an LLMNR query", DecodeLlmnr, UdpFrame(5355, kLlmnrQuery), kUdpPayload, {}},
      {"two messages over TCP", DecodeDnsOverTcp, TcpFrame(kTwoMessages), kTcpPayload, example},
      {"the second one cut", DecodeDnsOverTcp, TcpFrame(kSecondCut), kTcpPayload, {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SummaryAt(c.decoder, c.frame, c.at).sink.names, c.names) << c.what;
  }
  // Through the whole chain, and not with the DNS decoder off.
  if (DnsReached(DnsFrame(kAnswer))) {
    EXPECT_EQ(DecodeSummaryOf(DnsFrame(kAnswer), EnabledDecoders::All()).sink.names, example);
    EnabledDecoders noDns = EnabledDecoders::All();
    noDns.Set(OptionalDecoder::Dns, false);
    EXPECT_TRUE(DecodeSummaryOf(DnsFrame(kAnswer), noDns).sink.names.empty());
    EXPECT_TRUE(DecodeSummaryOf(DnsFrame(kAnswer)).sink.names.empty());
  }
}

// --- hostile names and counts ---

// A label of `length` bytes of 'f'.
std::string Label(std::size_t length) {
  std::string out = Format("%02x", static_cast<unsigned>(length));
  for (std::size_t i = 0; i < length; ++i) out += "66";
  return out;
}
std::string Fs(std::size_t length) { return std::string(length, 'f'); }

// A question whose name is a chain of `pointers` compression pointers, each
// to the next, the last one to the name "a"; the chain follows the question.
std::string PointerChain(std::size_t pointers) {
  std::string out = "dead 0100 0001 0000 0000 0000 c012 0001 0001";
  for (std::size_t i = 1; i < pointers; ++i) out += Format(" %04x", static_cast<unsigned>(0xC000 + 18 + 2 * i));
  return out + " 016100";
}

// A question named "a" then a pointer to the answer, whose name is "b" then
// a pointer back to the question.
const std::string kTwoStepLoop = "dead 8100 0001 0001 0000 0000 0161c014 0001 0001 0162c00c 0001 0001 00000000 0000";

TEST(Dns, HostileNamesEndWithALineThatSaysWhy) {
  struct Case {
    const char* what;
    std::string message;
    std::string lines;  // the first section's entries as the tree shows them
  };
  const Case cases[] = {
      {"a pointer to itself", "dead 0100 0001 0000 0000 0000 c00c 0001 0001",
       "    [compression loop]: type A, class IN [54,60)\n"
       "      Name: [compression loop] [54,56)\n"
       "      Type: A (Host Address) (1) [56,58)\n"
       "      Class: IN (0x0001) [58,60)\n"},
      {"two names pointing at each other", kTwoStepLoop,
       "    a.b [compression loop]: type A, class IN [54,62)\n"
       "      Name: a.b [compression loop] [54,58)\n"
       "      Type: A (Host Address) (1) [58,60)\n"
       "      Class: IN (0x0001) [60,62)\n"
       "  Answers [62,76)\n"
       "    b.a [compression loop]: type A, class IN [62,76)\n"
       "      Name: b.a [compression loop] [62,66)\n"
       "      Type: A (Host Address) (1) [66,68)\n"
       "      Class: IN (0x0001) [68,70)\n"
       "      Time to live: 0 (0 seconds) [70,74)\n"
       "      Data length: 0 [74,76)\n"},
      {"a pointer forward, to a later name",
       "dead 8100 0001 0001 0000 0000 c012 0001 0001 046e65787400 0001 0001 00000000 0000",
       "    next: type A, class IN [54,60)\n"
       "      Name: next [54,56)\n"
       "      Type: A (Host Address) (1) [56,58)\n"
       "      Class: IN (0x0001) [58,60)\n"
       "  Answers [60,76)\n"
       "    next: type A, class IN [60,76)\n"
       "      Name: next [60,66)\n"
       "      Type: A (Host Address) (1) [66,68)\n"
       "      Class: IN (0x0001) [68,70)\n"
       "      Time to live: 0 (0 seconds) [70,74)\n"
       "      Data length: 0 [74,76)\n"},
      {"a pointer past the end", "dead 0100 0001 0000 0000 0000 0161 c0ff 0001 0001",
       "    a [compression pointer past the end of the message]: type A, class IN [54,62)\n"
       "      Name: a [compression pointer past the end of the message] [54,58)\n"
       "      Type: A (Host Address) (1) [58,60)\n"
       "      Class: IN (0x0001) [60,62)\n"},
      {"a pointer without its second byte", "dead 0100 0001 0000 0000 0000 0161 c0",
       "    a [the message ends inside the name] [54,57)\n"
       "      Name: a [the message ends inside the name] [54,57)\n"},
      {"128 pointers in a row", PointerChain(128),
       "    a: type A, class IN [54,60)\n"
       "      Name: a [54,56)\n"
       "      Type: A (Host Address) (1) [56,58)\n"
       "      Class: IN (0x0001) [58,60)\n"},
      {"129 pointers in a row", PointerChain(129),
       "    [too many compression pointers]: type A, class IN [54,60)\n"
       "      Name: [too many compression pointers] [54,56)\n"
       "      Type: A (Host Address) (1) [56,58)\n"
       "      Class: IN (0x0001) [58,60)\n"},
      // A label has at most 63 bytes: a length of 64 is the reserved form
      // 01xxxxxx, and 10xxxxxx is reserved too. Where such a name ends is
      // not known, so nothing after it can be read.
      {"labels of 63 and 64 bytes",
       "dead 0100 0002 0000 0000 0000" + Label(63) + "00 0001 0001" + Label(64) + "00 0001 0001",
       "    " + Fs(63) + ": type A, class IN [54,123)\n"
       "      Name: " + Fs(63) + " [54,119)\n"
       "      Type: A (Host Address) (1) [119,121)\n"
       "      Class: IN (0x0001) [121,123)\n"
       "    [reserved label type 0x40] [123,124)\n"
       "      Name: [reserved label type 0x40] [123,124)\n"},
      {"a label of type 10", "dead 0100 0001 0000 0000 0000 0161 8161 00 0001 0001",
       "    a [reserved label type 0x80] [54,57)\n"
       "      Name: a [reserved label type 0x80] [54,57)\n"},
      // 255 bytes with the final zero; one more is too long, and the walk
      // goes on after the name's last byte.
      {"names of 255 and 256 bytes",
       "dead 0100 0002 0000 0000 0000" + Label(63) + Label(63) + Label(63) + Label(61) + "00 0001 0001" + Label(63) +
           Label(63) + Label(63) + Label(62) + "00 0001 0001",
       "    " + Fs(63) + "." + Fs(63) + "." + Fs(63) + "." + Fs(61) + ": type A, class IN [54,313)\n"
       "      Name: " + Fs(63) + "." + Fs(63) + "." + Fs(63) + "." + Fs(61) + " [54,309)\n"
       "      Type: A (Host Address) (1) [309,311)\n"
       "      Class: IN (0x0001) [311,313)\n"
       "    " + Fs(63) + "." + Fs(63) + "." + Fs(63) + " [name longer than 255 bytes]: type A, class IN [313,573)\n"
       "      Name: " + Fs(63) + "." + Fs(63) + "." + Fs(63) + " [name longer than 255 bytes] [313,569)\n"
       "      Type: A (Host Address) (1) [569,571)\n"
       "      Class: IN (0x0001) [571,573)\n"},
      // Escapes keep a name readable, and one line: the dot and the
      // backslash inside a label, bytes that are not printable.
      {"unprintable bytes in labels", "dead 0100 0001 0000 0000 0000 04612e5c01 03204a7f 00 0001 0001",
       "    a\\.\\\\\\001. J\\127: type A, class IN [54,68)\n"
       "      Name: a\\.\\\\\\001. J\\127 [54,64)\n"
       "      Type: A (Host Address) (1) [64,66)\n"
       "      Class: IN (0x0001) [66,68)\n"},
  };
  for (const Case& c : cases) {
    const Bytes frame = DnsFrame(c.message);
    const Decoded r = DecodeAt(DecodeDns, frame);
    const std::string section = From(r.tree.text, "  Queries");
    const std::size_t first = section.find('\n');
    ASSERT_NE(first, std::string::npos) << c.what << "\n" << r.tree.text;
    const std::string entries = section.substr(first + 1, c.lines.size());
    EXPECT_EQ(entries, c.lines) << c.what << "\n" << r.tree.text;
    EXPECT_TRUE(RangesWithin(r.tree.tree, static_cast<std::uint32_t>(frame.size()))) << c.what;
  }
}

TEST(Dns, TheValueOfADamagedNameIsWhatWasRead) {
  const Bytes loop = DnsFrame(kTwoStepLoop);
  const Decoded r = DecodeAt(DecodeDns, loop);
  EXPECT_EQ(FieldValue(r.tree.tree, loop, "dns.qry.name"), "a.b");
  EXPECT_EQ(FieldValue(r.tree.tree, loop, "dns.resp.name"), "b.a");
  const Bytes escaped = DnsFrame("dead 0100 0001 0000 0000 0000 04612e5c01 03204a7f 00 0001 0001");
  EXPECT_EQ(FieldValue(DecodeAt(DecodeDns, escaped).tree.tree, escaped, "dns.qry.name"), "a\\.\\\\\\001. J\\127");
}

TEST(Dns, CountsLargerThanTheMessageStopAtItsEnd) {
  const Bytes frame = DnsFrame("dead 0100 0005 0007 ffff ffff 0161 00 0001 0001");
  const Decoded r = DecodeAt(DecodeDns, frame);
  EXPECT_EQ(From(r.tree.text, "  Queries"),
            "  Queries [54,61)\n"
            "    a: type A, class IN [54,61)\n"
            "      Name: a [54,57)\n"
            "      Type: A (Host Address) (1) [57,59)\n"
            "      Class: IN (0x0001) [59,61)\n"
            "  131081 of the 131082 entries that the header counts are not decoded\n");
  // A record cut by the end: what there is of its data, and the walk ends.
  const Bytes cut = DnsFrame("dead 8100 0000 0002 0000 0000 00 001c 0001 00000000 0010 0161");
  EXPECT_EQ(From(DecodeAt(DecodeDns, cut).tree.text, "  Answers"),
            "  Answers [54,67)\n"
            "    <Root>: type AAAA, class IN [54,67)\n"
            "      Name: <Root> [54,55)\n"
            "      Type: AAAA (IPv6 Address) (28) [55,57)\n"
            "      Class: IN (0x0001) [57,59)\n"
            "      Time to live: 0 (0 seconds) [59,63)\n"
            "      Data length: 16 [only 2 bytes in the message] [63,65)\n"
            "      Data (2 bytes) [65,67)\n"
            "  1 of the 2 entries that the header counts are not decoded\n");
}

TEST(Dns, NamesInRecordDataStayInsideTheirRecord) {
  // The CNAME's data is two bytes; the name would go on after them.
  const Bytes frame = DnsFrame("dead 8100 0000 0001 0000 0000 00 0005 0001 00000000 0002 0161 00");
  const Decoded r = DecodeAt(DecodeDns, frame);
  EXPECT_EQ(From(r.tree.text, "  Answers"),
            "  Answers [54,67)\n"
            "    <Root>: type CNAME, class IN, cname a [the name runs past its record's data] [54,67)\n"
            "      Name: <Root> [54,55)\n"
            "      Type: CNAME (Canonical NAME for an alias) (5) [55,57)\n"
            "      Class: IN (0x0001) [57,59)\n"
            "      Time to live: 0 (0 seconds) [59,63)\n"
            "      Data length: 2 [63,65)\n"
            "      CNAME: a [the name runs past its record's data] [65,67)\n"
            "  Extraneous data (1 byte) [67,68)\n");
}

TEST(Dns, DataOfOtherTypesAndOfWrongLengthsIsShownAsBytes) {
  const Bytes frame = DnsFrame(
      "dead 8100 0000 0003 0000 0000"
      "00 1234 0009 00000000 0003 abcdef"
      "00 0001 0001 00000000 0005 c000020102"
      "00 000f 0001 00000000 0004 000a 00 ff");
  const Decoded r = DecodeAt(DecodeDns, frame);
  EXPECT_EQ(From(r.tree.text, "  Answers"),
            "  Answers [54,99)\n"
            "    <Root>: type TYPE4660, class CLASS9 [54,68)\n"
            "      Name: <Root> [54,55)\n"
            "      Type: Unknown (4660) [55,57)\n"
            "      Class: Unknown (0x0009) [57,59)\n"
            "      Time to live: 0 (0 seconds) [59,63)\n"
            "      Data length: 3 [63,65)\n"
            "      Data (3 bytes) [65,68)\n"
            "    <Root>: type A, class IN [68,84)\n"
            "      Name: <Root> [68,69)\n"
            "      Type: A (Host Address) (1) [69,71)\n"
            "      Class: IN (0x0001) [71,73)\n"
            "      Time to live: 0 (0 seconds) [73,77)\n"
            "      Data length: 5 [77,79)\n"
            "      Data (5 bytes) [79,84)\n"
            "    <Root>: type MX, class IN, preference 10, mx <Root> [84,99)\n"
            "      Name: <Root> [84,85)\n"
            "      Type: MX (Mail eXchange) (15) [85,87)\n"
            "      Class: IN (0x0001) [87,89)\n"
            "      Time to live: 0 (0 seconds) [89,93)\n"
            "      Data length: 4 [93,95)\n"
            "      Preference: 10 [95,97)\n"
            "      Mail Exchange: <Root> [97,98)\n"
            "      Data (1 byte) [98,99)\n");
}

// --- damaged and cut frames ---

struct TestFrame {
  DecoderFn decoder;
  Bytes frame;
  std::uint32_t at;
};

std::vector<TestFrame> TestFrames() {
  std::vector<TestFrame> out;
  for (const std::string& m : {kQuery, kAnswer, kNoSuchName, kMixed, kEdnsQuery, kHttps}) {
    out.push_back({DecodeDns, DnsFrame(m), kUdpPayload});
  }
  out.push_back({DecodeMdns, UdpFrame(5353, kMdnsResponse), kUdpPayload});
  out.push_back({DecodeMdns, UdpFrame(5353, kMdnsQuery), kUdpPayload});
  out.push_back({DecodeLlmnr, UdpFrame(5355, kLlmnrQuery), kUdpPayload});
  out.push_back({DecodeDnsOverTcp, TcpFrame(kTwoMessages), kTcpPayload});
  out.push_back({DecodeDnsOverTcp, TcpFrame(kSecondCut), kTcpPayload});
  // An empty message, then one whose length ends it inside its answer.
  out.push_back({DecodeDnsOverTcp, TcpFrame("0000 0050 " + kHttps), kTcpPayload});
  out.push_back({DecodeDns, DnsFrame(kTwoStepLoop), kUdpPayload});
  out.push_back({DecodeDns, DnsFrame(PointerChain(128)), kUdpPayload});
  return out;
}

void ExpectEveryCutWithin(const TestFrame& t) {
  const std::vector<std::string> whole = SummaryAt(t.decoder, t.frame, t.at).sink.names;
  for (std::size_t n = 0; n <= t.frame.size(); ++n) {
    const Bytes cut(t.frame.begin(), t.frame.begin() + static_cast<std::ptrdiff_t>(n));
    const Decoded r = DecodeAt(t.decoder, cut, t.at);
    EXPECT_TRUE(RangesWithin(r.tree.tree, static_cast<std::uint32_t>(n))) << "cut at " << n << "\n" << r.tree.text;
    const SummaryDecode s = SummaryAt(t.decoder, cut, t.at);
    if (n > t.at) {
      EXPECT_EQ(s.sink.protocols.size(), 1u) << "cut at " << n;
    }
    // A cut message names no address that is not all there, and nothing the
    // whole one does not name.
    for (const std::string& name : s.sink.names) {
      EXPECT_NE(std::find(whole.begin(), whole.end(), name), whole.end()) << "cut at " << n << ": " << name;
    }
  }
}

TEST(Dns, EveryCutOfEveryFrameStaysWithinTheCapturedBytes) {
  for (const TestFrame& t : TestFrames()) ExpectEveryCutWithin(t);
}

TEST(Dns, RandomMessagesStayWithinTheCapturedBytes) {
  // A fixed generator, so a failure repeats. The bytes lean towards small
  // counts, label lengths, pointers and the record types with a layout, so
  // that the walks take many steps.
  std::uint32_t state = 20240601;
  auto next = [&state] {
    state = state * 1103515245u + 12345u;
    return static_cast<std::uint8_t>(state >> 16);
  };
  const std::uint8_t interesting[] = {0x00, 0x01, 0x02, 0x03, 0x05, 0x06, 0x0c, 0x0f, 0x10, 0x1c, 0x21,
                                      0x29, 0x40, 0x41, 0x3f, 0x80, 0xc0, 0xc0, 0x0c, 0x08, 0x0a, 0xff};
  const DecoderFn decoders[] = {DecodeDns, DecodeMdns, DecodeLlmnr, DecodeDnsOverTcp};
  for (int round = 0; round < 2000; ++round) {
    std::string message = "beef 8180 0003 0004 0002 0003";
    const std::size_t length = next() % 200;
    for (std::size_t i = 0; i < length; ++i) {
      const std::uint8_t b = (next() & 1) != 0 ? interesting[next() % sizeof interesting] : next();
      message += Format("%02x", b);
    }
    const DecoderFn decoder = decoders[round % 4];
    const bool tcp = decoder == DecodeDnsOverTcp;
    const Bytes frame = tcp ? TcpFrame(Format("%04x", next() % 256u) + message) : DnsFrame(message);
    const std::uint32_t at = tcp ? kTcpPayload : kUdpPayload;
    const Decoded r = DecodeAt(decoder, frame, at);
    ASSERT_TRUE(RangesWithin(r.tree.tree, static_cast<std::uint32_t>(frame.size()))) << r.tree.text;
    SummaryAt(decoder, frame, at);
  }
}

// --- through the whole decoder chain ---

TEST(Dns, ThroughUdpTheRowEndsWithDnsAndTheClassicDecodersNeverReachIt) {
  const Bytes frame = DnsFrame(kAnswer);
  for (const TestFrame& t : TestFrames()) {
    EXPECT_FALSE(Contains(DecodeTreeOf(t.frame).text, "DNS (")) << "classic decoders";
    EXPECT_FALSE(Contains(DecodeSummaryOf(t.frame).row.ProtocolsText(), "DNS")) << "classic decoders";
  }
  if (!DnsReached(frame)) GTEST_SKIP() << "the UDP decoder does not hand port 53 on yet";
  const TreeDecode t = DecodeTreeOf(frame, nullptr, EnabledDecoders::All());
  EXPECT_EQ(From(t.text, "DNS ("), DecodeAt(DecodeDns, frame).tree.text);
  EXPECT_EQ(DecodeSummaryOf(frame, EnabledDecoders::All()).row.ProtocolsText(), "IPv4 UDP DNS ");
  EnabledDecoders noDns = EnabledDecoders::All();
  noDns.Set(OptionalDecoder::Dns, false);
  EXPECT_FALSE(Contains(DecodeTreeOf(frame, nullptr, noDns).text, "DNS ("));
}

// --- real captures ---


struct CorpusDecoded {
  Bytes frame;
  std::uint32_t at;
  Decoded run;
};

// The DNS message of each frame, after an IPv4 header of the length it
// says and UDP, which start at `ip`.
std::vector<CorpusDecoded> DecodeCorpus(const char* name, std::uint32_t ip) {
  std::vector<CorpusDecoded> out;
  for (Bytes& frame : CorpusFrames(name)) {
    if (frame.size() <= ip) continue;
    const std::uint32_t at = ip + (frame[ip] & 0x0Fu) * 4 + 8;
    Decoded run = DecodeAt(DecodeDns, frame, at);
    out.push_back({std::move(frame), at, std::move(run)});
  }
  return out;
}

// The values tshark shows for the same fields of the same frames
// (`tshark -T fields -e ...`).
TEST(Dns, RealQueryWithEdnsAndItsResponseMatchTshark) {
  const std::vector<CorpusDecoded> runs = DecodeCorpus("dns_udp.pcap", 14);
  if (runs.empty()) GTEST_SKIP() << "no corpus at " << QUORVANET_CORPUS_DIR;
  ASSERT_EQ(runs.size(), 2u);
  struct Expected {
    std::string_view field;
    std::string_view query;
    std::string_view response;
  };
  const Expected expected[] = {
      {"dns.id", "0x5934", "0x5934"},
      {"dns.flags", "0x0120", "0x8500"},
      {"dns.flags.response", "0", "1"},
      {"dns.flags.authoritative", "", "1"},
      {"dns.flags.recavail", "", "0"},
      {"dns.flags.authenticated", "1", "0"},
      {"dns.flags.rcode", "", "0"},
      {"dns.count.queries", "1", "1"},
      {"dns.count.answers", "0", "2"},
      {"dns.count.auth_rr", "0", "2"},
      {"dns.count.add_rr", "1", "5"},
      {"dns.qry.name", "www.tcpdump.org", "www.tcpdump.org"},
      {"dns.qry.type", "1", "1"},
      {"dns.qry.class", "0x0001", "0x0001"},
      {"dns.resp.name", "<Root>",
       "www.tcpdump.org,www.tcpdump.org,tcpdump.org,tcpdump.org,nic.sandelman.ca,nic.sandelman.ca,"
       "sns.cooperix.net,sns.cooperix.net,<Root>"},
      {"dns.resp.type", "41", "1,1,2,2,1,28,1,28,41"},
      {"dns.resp.class", "", "0x0001,0x0001,0x0001,0x0001,0x0001,0x0001,0x0001,0x0001"},
      {"dns.resp.ttl", "", "60,60,86400,86400,300,300,7200,7200"},
      {"dns.resp.len", "12", "4,4,18,18,4,16,4,16,0"},
      {"dns.a", "", "192.139.46.66,198.199.88.104,209.87.249.18,97.107.133.15"},
      {"dns.aaaa", "", "2607:f0b0:f::babe:f00d,2600:3c03::f03c:91ff:fe96:e8ef"},
      {"dns.ns", "", "sns.cooperix.net,nic.sandelman.ca"},
      {"dns.rr.udp_payload_size", "4096", "4096"},
      {"dns.resp.ext_rcode", "0x00", "0x00"},
      {"dns.resp.edns0_version", "0", "0"},
      {"dns.resp.z", "0x0000", "0x0000"},
      {"dns.resp.z.do", "0", "0"},
      {"dns.resp.z.reserved", "0x0000", "0x0000"},
      {"dns.opt.code", "10", ""},
      {"dns.opt.len", "8", ""},
      {"dns.opt.data", "42f5d00996f90b13", ""},
      {"dns.opt.cookie.client", "42f5d00996f90b13", ""},
      // tshark shows the missing server cookie as "<MISSING>"; here it has no line.
      {"dns.opt.cookie.server", "", ""},
  };
  for (const Expected& e : expected) {
    EXPECT_EQ(FieldValues(runs[0].run.tree.tree, runs[0].frame, e.field), e.query) << e.field;
    EXPECT_EQ(FieldValues(runs[1].run.tree.tree, runs[1].frame, e.field), e.response) << e.field;
  }
  for (const CorpusDecoded& c : runs) {
    // Each message fills its frame: one layer, nothing left over.
    EXPECT_EQ(c.run.tree.layerStarts, (std::vector<std::int32_t>{42}));
    EXPECT_EQ(c.run.tree.tree[c.run.tree.tree.TopLevel()[0]].end, c.frame.size());
    EXPECT_FALSE(Contains(c.run.tree.text, "Extraneous")) << c.run.tree.text;
    EXPECT_FALSE(Contains(c.run.tree.text, "not decoded")) << c.run.tree.text;
    ExpectEveryCutWithin({DecodeDns, c.frame, c.at});
  }
}

TEST(Dns, RealBadCookieExchangeOverLoopbackMatchesTshark) {
  // BSD loopback: four bytes of address family before IPv4.
  const std::vector<CorpusDecoded> runs = DecodeCorpus("linktypes/dns-badcookie.pcap", 4);
  if (runs.empty()) GTEST_SKIP() << "no corpus at " << QUORVANET_CORPUS_DIR;
  ASSERT_EQ(runs.size(), 4u);
  const auto value = [&runs](std::size_t i, std::string_view abbrev) {
    return FieldValues(runs[i].run.tree.tree, runs[i].frame, abbrev);
  };
  const char* const ids[] = {"0xf6ab", "0xf6ab", "0xb433", "0xb433"};
  const char* const flags[] = {"0x0120", "0x8187", "0x0120", "0x81a0"};
  const char* const servers[] = {"", "7d8ffe065c636ffb142d767494407a73", "7d8ffe065c636ffb142d767494407a73",
                                 "0a2f9da25c636ffb49c35bb14fa428b4"};
  for (std::size_t i = 0; i < runs.size(); ++i) {
    EXPECT_EQ(value(i, "dns.id"), ids[i]);
    EXPECT_EQ(value(i, "dns.flags"), flags[i]);
    EXPECT_EQ(value(i, "dns.qry.name"), "<Root>");
    EXPECT_EQ(value(i, "dns.qry.type"), "6");
    EXPECT_EQ(value(i, "dns.rr.udp_payload_size"), "4096");
    EXPECT_EQ(value(i, "dns.opt.code"), "10");
    EXPECT_EQ(value(i, "dns.opt.cookie.client"), "36bf111fef2e0109");
    EXPECT_EQ(value(i, "dns.opt.cookie.server"), servers[i]);
    ExpectEveryCutWithin({DecodeDns, runs[i].frame, runs[i].at});
  }
  EXPECT_EQ(value(1, "dns.flags.rcode"), "7");
  EXPECT_EQ(value(1, "dns.resp.ext_rcode"), "0x01");
  EXPECT_EQ(value(1, "dns.opt.len"), "24");
  // Higher bits 1 and the header's 7: BADCOOKIE.
  EXPECT_EQ(value(1, "dns.resp.extended_rcode"), "23");
  EXPECT_TRUE(Contains(runs[1].run.tree.text, "Extended RCODE: BADCOOKIE (23)"));
  EXPECT_EQ(value(3, "dns.resp.name"), "<Root>,<Root>");
  EXPECT_EQ(value(3, "dns.resp.type"), "6,41");
  EXPECT_EQ(value(3, "dns.resp.ttl"), "85758");
  EXPECT_EQ(value(3, "dns.resp.len"), "64,28");
  EXPECT_EQ(value(3, "dns.soa.mname"), "a.root-servers.net");
  EXPECT_EQ(value(3, "dns.soa.rname"), "nstld.verisign-grs.com");
  EXPECT_EQ(value(3, "dns.soa.serial_number"), "2019021202");
  EXPECT_EQ(value(3, "dns.soa.refresh_interval"), "1800");
  EXPECT_EQ(value(3, "dns.soa.retry_interval"), "900");
  EXPECT_EQ(value(3, "dns.soa.expire_limit"), "604800");
  EXPECT_EQ(value(3, "dns.soa.minimum_ttl"), "86400");
  EXPECT_TRUE(Contains(runs[3].run.tree.text, "Time to live: 85758 (23 hours, 49 minutes, 18 seconds)"));
}

}  // namespace
}  // namespace qv
