// Display filters over a few small frames: each operator, fields that occur
// more than once (ip.addr in an ICMP error), absent fields with != and !,
// slices, sets, ranges and address prefixes.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "filters/display_filter_match.h"
#include "decode_helpers.h"

namespace qv {
namespace {

using testing::Bytes;
using testing::FrameBuilder;
using testing::Hex;

// 00:11:22:33:44:55 -> 66:77:88:99:aa:bb, 10.0.0.5:51000 -> 10.0.0.9:443,
// a SYN with MSS and SACK permitted.
Bytes Ipv4Tcp() {
  return FrameBuilder()
      .Ethernet({0x66, 0x77, 0x88, 0x99, 0xaa, 0xbb}, {0x00, 0x11, 0x22, 0x33, 0x44, 0x55}, 0x0800)
      .Ipv4({10, 0, 0, 5}, {10, 0, 0, 9}, 6)
      .Tcp(51000, 443, 1, 0, 0x02, Hex("020405b4 04020101"))
      .Build();
}

// fe80::1:40000 -> 2001:db8::53:53, a DNS query for www.example.com.
Bytes Ipv6Dns() {
  return Hex(
      "020000000002 020000000001 86dd"
      "60000000 0029 11 40 fe800000000000000000000000000001 20010db8000000000000000000000053"
      "9c40 0035 0029 0000"
      "1234 0100 0001 0000 0000 0000 03777777076578616d706c6503636f6d00 0001 0001");
}

// An ARP request of 10.0.0.5 for 10.0.0.9 in VLAN 100.
Bytes VlanArp() {
  return Hex(
      "ffffffffffff 001122334455 8100 0064 0806"
      "0001 0800 06 04 0001 001122334455 0a000005 000000000000 0a000009");
}

// 10.0.0.1 tells 10.0.0.5 that 192.0.2.7 port 53 is unreachable: two IPv4
// headers, so ip.addr occurs four times.
Bytes IcmpError() {
  return Hex(
      "001122334455 66778899aabb 0800"
      "4500 0038 0001 0000 40 01 0000 0a000001 0a000005"
      "0303 0000 00000000"
      "4500 0021 1234 0000 40 11 0000 0a000005 c0000207"
      "1388 0035 000d 0000");
}

// IP in IP: 192.0.2.1 -> 192.0.2.2 carries 10.0.0.1:5000 -> 10.0.0.2:53 over
// UDP, so ip.src, ip.dst and ip.addr occur in both headers.
Bytes Tunnel() {
  return Hex(
      "001122334455 66778899aabb 0800"
      "4500 0030 0001 0000 40 04 0000 c0000201 c0000202"
      "4500 001c 0002 0000 40 11 0000 0a000001 0a000002"
      "1388 0035 0008 0000");
}

// The first frame of the TLS 1.3 capture that holds a ClientHello.
Bytes ClientHello() {
  for (const Bytes& frame : testing::SavefileFrames(std::string(QUORVANET_SOURCE_DIR) + "/tests/decode/data/app_tls13.pcap")) {
    const testing::TreeDecode d = testing::DecodeTreeOf(frame, nullptr, EnabledDecoders::All());
    if (d.text.find("Client Hello") != std::string::npos) return frame;
  }
  return {};
}

bool Matches(const Bytes& frame, const char* text) {
  DisplayFilterError error;
  const DisplayFilterPtr filter = CompileDisplayFilter(text, &error);
  EXPECT_NE(filter, nullptr) << text << ": " << error.Text();
  if (!filter) return false;
  DisplayFilterMatcher matcher(filter, DecodeSetup{EnabledDecoders::All(), nullptr});
  PacketRecord record;
  record.bytes = frame;
  record.capturedLength = static_cast<std::uint32_t>(frame.size());
  record.wireLength = record.capturedLength;
  record.number = 6;
  record.seconds = 1000;
  record.microseconds = 500000;
  matcher.SetFirstTime(RecordTimeNs(record) - 2'250'000'000);  // 2.25 s after the first frame
  return matcher.Matches(record);
}

struct EvalCase {
  const char* frame;
  const char* filter;
  bool expected;
};

TEST(DisplayFilterEval, FramesAgainstFilters) {
  const std::vector<std::pair<const char*, Bytes>> frames = {
      {"tcp", Ipv4Tcp()}, {"dns", Ipv6Dns()}, {"arp", VlanArp()}, {"icmp", IcmpError()}, {"tunnel", Tunnel()},
      {"hello", ClientHello()}};
  ASSERT_FALSE(frames.back().second.empty()) << "no ClientHello in the TLS capture";
  const EvalCase cases[] = {
      // presence
      {"tcp", "tcp", true},
      {"tcp", "udp", false},
      {"tcp", "tcp.options.sack_perm", true},
      {"dns", "tcp.options.sack_perm", false},
      {"dns", "dns", true},
      {"arp", "vlan && arp", true},
      {"hello", "tls.handshake", true},
      // equality and order
      {"tcp", "ip.src == 10.0.0.5", true},
      {"tcp", "ip.src == 10.0.0.9", false},
      {"tcp", "tcp.dstport == 443", true},
      {"tcp", "tcp.dstport eq 0x1bb", true},
      {"tcp", "tcp.srcport > 50000", true},
      {"tcp", "tcp.srcport < 50000", false},
      {"tcp", "tcp.srcport >= 51000 && tcp.srcport <= 51000", true},
      {"tcp", "ip.ttl ge 64", true},
      {"tcp", "tcp.flags.syn == 1", true},
      {"tcp", "tcp.flags.ack == 1", false},
      {"tcp", "tcp.flags.ack == False", true},
      {"tcp", "ip.src < 10.0.0.6", true},
      // either side
      {"tcp", "ip.addr == 10.0.0.9", true},
      {"tcp", "tcp.port == 443", true},
      {"tcp", "tcp.port == 51000", true},
      {"tcp", "tcp.port == 80", false},
      {"tcp", "ip.addr == 10.0.0.5 && tcp.port == 443", true},
      {"tcp", "eth.addr == 66:77:88:99:aa:bb", true},
      {"dns", "ipv6.addr == 2001:db8::53", true},
      {"dns", "udp.port == 53", true},
      // prefixes
      {"dns", "ipv6.src == fe80::/10", true},
      {"dns", "ipv6.dst == fe80::/10", false},
      {"tcp", "ip.src == 10.0.0.0/8", true},
      {"tcp", "ip.src == 10.0.0.4/31", true},
      {"tcp", "ip.src == 10.0.0.6/31", false},
      {"tcp", "ip.addr != 10.0.0.0/24", false},
      // repeated fields: any occurrence, and != as "none equals"
      {"icmp", "ip.addr == 192.0.2.7", true},
      {"icmp", "ip.src == 10.0.0.5", true},
      {"icmp", "ip.src != 10.0.0.5", false},
      {"icmp", "ip.src !== 10.0.0.5", true},
      {"icmp", "ip.src === 10.0.0.5", false},
      {"icmp", "ip.dst != 10.0.0.9", true},
      {"icmp", "udp.dstport == 53", true},
      {"tunnel", "ip.addr == 10.0.0.1", true},
      {"tunnel", "ip.src == 192.0.2.1 && ip.src == 10.0.0.1", true},
      {"tunnel", "ip.src != 10.0.0.1", false},
      {"tunnel", "ip.dst in {10.0.0.2}", true},
      {"tunnel", "ip.addr == 192.0.2.0/24 && udp.port == 53", true},
      {"tunnel", "ip.proto == 4", true},
      // absent fields: != is false, !(==) is true
      {"arp", "ip.addr != 10.0.0.5", false},
      {"arp", "!(ip.addr == 10.0.0.5)", true},
      {"arp", "not ip.addr == 10.0.0.5", true},
      {"arp", "ip.addr == 10.0.0.5", false},
      {"arp", "vlan.id == 100", true},
      {"arp", "vlan.id != 100", false},
      {"arp", "!(udp || tcp)", true},
      {"tcp", "!(udp || tcp)", false},
      // strings and bytes
      {"dns", "dns.qry.name == \"www.example.com\"", true},
      {"dns", "dns.qry.name contains \"example\"", true},
      {"dns", "dns.qry.name contains \"EXAMPLE\"", false},
      {"dns", "dns.qry.name matches \"(?i)EXAMPLE\\\\.COM$\"", true},
      {"dns", "dns.qry.name matches \"^example\"", false},
      {"dns", "dns.qry.name > \"www.a\"", true},
      {"hello", "tls.handshake.extensions_server_name contains \".\"", true},
      {"hello", "frame contains 16:03", true},
      {"tcp", "frame contains 16:03", false},
      {"tcp", "tcp contains 01:01", true},
      // slices
      {"tcp", "eth.src[0:3] == 00:11:22", true},
      {"tcp", "eth.src[0:3] == 00:11:23", false},
      {"tcp", "eth.src[3:] == 33:44:55", true},
      {"tcp", "eth.src[-2:] == 44:55", true},
      {"tcp", "eth.dst[1-2] == 77:88", true},
      {"tcp", "eth.src[0] == 00", true},
      {"tcp", "eth.src[0:1,5] == 00:55", true},
      {"tcp", "eth.src[4:9] == 44:55", false},  // reaches past the address
      {"dns", "dns.qry.name[0:3] == \"www\"", true},
      // sets and ranges
      {"tcp", "tcp.port in {80, 443, 8000..8080}", true},
      {"tcp", "tcp.dstport in {80 8000..8080}", false},
      {"tcp", "tcp.srcport in {50000..52000}", true},
      {"tcp", "ip.dst in {192.168.0.0/16 10.0.0.0/8}", true},
      {"dns", "dns.qry.name in {\"a\" \"www.example.com\"}", true},
      // field against field
      {"tcp", "tcp.srcport == tcp.dstport", false},
      {"tcp", "tcp.srcport > tcp.dstport", true},
      {"tcp", "ip.src != ip.dst", true},
      {"icmp", "ip.src == ip.dst", true},  // the quoted header's source is the outer destination
      // the frame's own fields
      {"tcp", "frame.len == 62", true},
      {"tcp", "frame.cap_len < 60", false},
      {"tcp", "frame.number == 7", true},
      {"tcp", "frame.time_relative == 2.25", true},
      {"tcp", "frame.time_relative > 2.3", false},
      {"tcp", "frame", true},
      // logic
      {"tcp", "tcp && !udp", true},
      {"tcp", "udp || tcp.port == 443", true},
      {"tcp", "udp or tcp and ip.ttl == 1", false},
      {"tcp", "ip ^^ tcp", false},
      {"tcp", "ip xor udp", true},
  };
  for (const EvalCase& c : cases) {
    const auto frame = std::find_if(frames.begin(), frames.end(), [&](const auto& f) { return std::string(f.first) == c.frame; });
    ASSERT_NE(frame, frames.end());
    EXPECT_EQ(Matches(frame->second, c.filter), c.expected) << c.frame << ": " << c.filter;
  }
}

TEST(DisplayFilterEval, CutFramesHaveOnlyTheFieldsCaptured) {
  // The TCP header is cut after its ports: tcp.port is there, tcp.flags not,
  // and nothing is read past the captured bytes.
  Bytes frame = Ipv4Tcp();
  frame.resize(14 + 20 + 4);
  EXPECT_TRUE(Matches(frame, "tcp.port == 443"));
  EXPECT_FALSE(Matches(frame, "tcp.flags.syn == 1"));
  EXPECT_FALSE(Matches(frame, "tcp.flags.syn != 1"));
  EXPECT_TRUE(Matches(frame, "!tcp.flags.syn"));
}

}  // namespace
}  // namespace qv
