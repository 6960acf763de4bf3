// The classic decoders' lines carry their registered fields and values.
//
// On representative frames (real captures where the corpus has one), every
// field of the layers a case looks at has the value that tshark 4.0 writes for
// the same field on the same frame: `-T fields -E occurrence=a`, all
// occurrences comma-separated, ip.tos.* with ip.decode_tos_as_diffserv off and
// the SACK edges with tcp.relative_sequence_numbers off (ours are the numbers
// as carried). Every line of a fixed-width field covers exactly its width, and
// a frame cut at any byte shows only fields whose bytes were all captured.

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "decode_helpers.h"

namespace qv {
namespace {

using namespace qv::testing;

struct Expected {
  std::string_view abbrev;
  std::string_view value;
};

struct FieldCase {
  const char* name;
  Bytes frame;
  // Abbreviation prefixes whose every field in the tree the table lists.
  std::vector<std::string_view> layers;
  std::vector<Expected> tshark;
};

const std::vector<FieldCase>& Cases() {
  static const std::vector<FieldCase> cases = {
      {"TcpSynWithOptions",
       Hex("00 00 00 00 00 00 00 00 00 00 00 00 08 00 45 00 00 3c 1b 68 40 00 40 06 21 52 7f 00 00 01 7f 00"
           "00 01 da 70 00 50 37 58 89 7e 00 00 00 00 a0 02 7f ff 14 21 00 00 02 04 40 0c 04 02 08 0a 4d dc"
           "92 16 00 00 00 00 01 03 03 02"),
       {"eth.", "ip.", "tcp."},
       {{"eth.dst", "00:00:00:00:00:00"}, {"eth.src", "00:00:00:00:00:00"}, {"eth.type", "0x0800"},
        {"ip.version", "4"}, {"ip.hdr_len", "20"}, {"ip.dsfield", "0x00"}, {"ip.tos.precedence", "0"},
        {"ip.tos.delay", "0"}, {"ip.tos.throughput", "0"}, {"ip.tos.reliability", "0"}, {"ip.tos.cost", "0"},
        {"ip.len", "60"}, {"ip.id", "0x1b68"}, {"ip.flags", "0x02"}, {"ip.flags.df", "1"}, {"ip.flags.mf", "0"},
        {"ip.frag_offset", "0"}, {"ip.ttl", "64"}, {"ip.proto", "6"}, {"ip.checksum", "0x2152"},
        {"ip.src", "127.0.0.1"}, {"ip.dst", "127.0.0.1"}, {"tcp.srcport", "55920"}, {"tcp.dstport", "80"},
        {"tcp.seq_raw", "928549246"}, {"tcp.ack_raw", "0"}, {"tcp.hdr_len", "40"}, {"tcp.flags.fin", "0"},
        {"tcp.flags.syn", "1"}, {"tcp.flags.reset", "0"}, {"tcp.flags.push", "0"}, {"tcp.flags.ack", "0"},
        {"tcp.flags.urg", "0"}, {"tcp.window_size_value", "32767"}, {"tcp.checksum", "0x1421"},
        {"tcp.urgent_pointer", "0"}, {"tcp.options", "0204400c0402080a4ddc92160000000001030302"},
        {"tcp.options.nop", "01"}, {"tcp.options.mss", "0204400c"}, {"tcp.options.wscale", "030302"},
        {"tcp.options.sack_perm", "0402"}, {"tcp.options.timestamp", "080a4ddc921600000000"}}},
      {"TcpSackAndEcho",
       Hex("00 11 22 33 44 55 66 77 88 99 aa bb 08 00 45 00 00 44 12 34 40 00 40 06 5c cd c0 a8 01 0a 0a 00"
           "00 01 00 50 9c 40 00 00 03 e8 00 00 07 d0 c0 10 ff ff 12 34 00 00 01 01 05 0a 00 00 01 00 00 00"
           "02 00 01 01 06 06 00 00 00 07 07 06 00 00 00 08 00 00"),
       {"tcp.options"},
       {{"tcp.options", "0101050a000001000000020001010606000000070706000000080000"},
        {"tcp.options.nop", "01,01,01,01"}, {"tcp.options.sack", "050a0000010000000200"},
        {"tcp.options.sack_le", "256"}, {"tcp.options.sack_re", "512"},
        {"tcp.options.echo", "060600000007,070600000008"}}},
      {"Udp",
       Hex("00 11 22 33 44 66 00 11 22 33 44 55 08 00 45 00 00 54 59 cd 00 00 40 11 94 ae c0 a8 01 0b d1 57"
           "f9 12 ab be 00 35 00 40 78 24 59 34 01 20 00 01 00 00 00 00 00 01 03 77 77 77 07 74 63 70 64 75"
           "6d 70 03 6f 72 67 00 00 01 00 01 00 00 29 10 00 00 00 00 00 00 0c 00 0a 00 08 42 f5 d0 09 96 f9"
           "0b 13"),
       {"udp."},
       {{"udp.srcport", "43966"}, {"udp.dstport", "53"}, {"udp.length", "64"}, {"udp.checksum", "0x7824"}}},
      {"IcmpEcho",
       Hex("74 83 ef 07 d0 a9 a6 82 4b c9 a1 a7 08 00 45 00 00 30 61 b4 40 00 40 01 be cc 0a 28 02 03 0a 1e"
           "04 04 08 00 b7 db 40 24 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"),
       {"icmp."},
       {{"icmp.type", "8"}, {"icmp.code", "0"}, {"icmp.checksum", "0xb7db"}, {"icmp.ident", "16420"},
        {"icmp.seq", "0"}}},
      {"IcmpError",
       Hex("a6 82 4b c9 a1 a7 74 83 ef 07 d0 a9 08 00 45 c0 00 4c 9c 6a 00 00 40 01 c6 33 0a 28 01 01 0a 28"
           "02 03 03 01 fc fe 00 00 00 00 45 00 00 30 61 b4 40 00 3f 01 bf cc 0a 28 02 03 0a 1e 04 04 08 00"
           "b7 db 40 24 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"),
       {"ip.", "icmp."},
       {{"ip.version", "4,4"}, {"ip.hdr_len", "20,20"}, {"ip.dsfield", "0xc0,0x00"}, {"ip.tos.precedence", "6,0"},
        {"ip.tos.delay", "0,0"}, {"ip.tos.throughput", "0,0"}, {"ip.tos.reliability", "0,0"}, {"ip.tos.cost", "0,0"},
        {"ip.len", "76,48"}, {"ip.id", "0x9c6a,0x61b4"}, {"ip.flags", "0x00,0x02"}, {"ip.flags.df", "0,1"},
        {"ip.flags.mf", "0,0"}, {"ip.frag_offset", "0,0"}, {"ip.ttl", "64,63"}, {"ip.proto", "1,1"},
        {"ip.checksum", "0xc633,0xbfcc"}, {"ip.src", "10.40.1.1,10.40.2.3"}, {"ip.dst", "10.40.2.3,10.30.4.4"},
        {"icmp.type", "3,8"}, {"icmp.code", "1,0"}, {"icmp.checksum", "0xfcfe,0xb7db"}, {"icmp.ident", "16420"},
        {"icmp.seq", "0"}, {"icmp.unused", "00000000"}}},
      {"IcmpRouterAdvertisement",
       Hex("00 11 22 33 44 55 66 77 88 99 aa bb 08 00 45 00 00 2c 12 34 40 00 40 01 5c ea c0 a8 01 0a 0a 00"
           "00 01 09 00 d9 ee 02 02 07 08 0a 00 00 01 00 00 00 05 0a 00 00 02 ff ff ff fe"),
       {"icmp."},
       {{"icmp.type", "9"}, {"icmp.code", "0"}, {"icmp.checksum", "0xd9ee"}, {"icmp.num_addrs", "2"},
        {"icmp.addr_entry_size", "2"}, {"icmp.lifetime", "1800"}, {"icmp.router_address", "10.0.0.1,10.0.0.2"},
        {"icmp.pref_level", "5,-2"}}},
      {"IgmpV3Query",
       Hex("01 00 5e 00 00 01 02 00 01 63 00 00 08 00 46 c0 00 24 00 01 00 00 01 02 84 0d c0 02 00 02 e0 00"
           "00 01 94 04 00 00 11 fe eb 84 00 00 00 00 02 7d 00 00"),
       {"ip.", "igmp."},
       {{"ip.version", "4"}, {"ip.hdr_len", "24"}, {"ip.dsfield", "0xc0"}, {"ip.tos.precedence", "6"},
        {"ip.tos.delay", "0"}, {"ip.tos.throughput", "0"}, {"ip.tos.reliability", "0"}, {"ip.tos.cost", "0"},
        {"ip.len", "36"}, {"ip.id", "0x0001"}, {"ip.flags", "0x00"}, {"ip.flags.df", "0"}, {"ip.flags.mf", "0"},
        {"ip.frag_offset", "0"}, {"ip.ttl", "1"}, {"ip.proto", "2"}, {"ip.checksum", "0x840d"},
        {"ip.src", "192.2.0.2"}, {"ip.dst", "224.0.0.1"}, {"igmp.type", "0x11"}, {"igmp.checksum", "0xeb84"},
        {"igmp.maddr", "0.0.0.0"}, {"igmp.s", "0"}, {"igmp.qrv", "2"}, {"igmp.qqic", "125"}, {"igmp.num_src", "0"}}},
      {"IgmpV3Report",
       Hex("00 11 22 33 44 55 66 77 88 99 aa bb 08 00 45 00 00 38 12 34 40 00 01 02 9b dd c0 a8 01 0a 0a 00"
           "00 01 22 00 00 00 00 00 00 02 01 00 00 02 e1 01 01 01 0a 00 00 01 0a 00 00 02 04 01 00 00 e2 02"
           "02 02 aa bb cc dd"),
       {"igmp."},
       {{"igmp.type", "0x22"}, {"igmp.checksum", "0x0000"}, {"igmp.maddr", "225.1.1.1,226.2.2.2"},
        {"igmp.num_src", "2,0"}, {"igmp.saddr", "10.0.0.1,10.0.0.2"}, {"igmp.num_grp_recs", "2"},
        {"igmp.record_type", "1,4"}, {"igmp.aux_data_len", "0,1"}, {"igmp.aux_data", "aabbccdd"}}},
      {"Arp",
       Hex("a6 82 4b c9 a1 a7 74 83 ef 07 d0 a9 08 06 00 01 08 00 06 04 00 02 74 83 ef 07 d0 a9 0a 28 01 01"
           "a6 82 4b c9 a1 a7 0a 28 02 03"),
       {"eth.", "arp."},
       {{"eth.dst", "a6:82:4b:c9:a1:a7"}, {"eth.src", "74:83:ef:07:d0:a9"}, {"eth.type", "0x0806"},
        {"arp.hw.type", "1"}, {"arp.proto.type", "0x0800"}, {"arp.hw.size", "6"}, {"arp.proto.size", "4"},
        {"arp.opcode", "2"}, {"arp.src.hw_mac", "74:83:ef:07:d0:a9"}, {"arp.src.proto_ipv4", "10.40.1.1"},
        {"arp.dst.hw_mac", "a6:82:4b:c9:a1:a7"}, {"arp.dst.proto_ipv4", "10.40.2.3"}}},
      {"LlcSnapCisco",
       Hex("01 00 0c cc cc cc 00 19 06 ea b8 85 00 25 aa aa 03 00 00 0c 20 04 01 00 01 00 08 4c 61 62 00 00"
           "02 00 05 04 00 03 00 05 40 00 04 00 0a 00 19 06 ea b8 85 00 00 00 00 00 00 00 00 00"),
       {"eth.", "llc."},
       {{"eth.dst", "01:00:0c:cc:cc:cc"}, {"eth.src", "00:19:06:ea:b8:85"}, {"eth.len", "37"}, {"llc.dsap", "0xaa"},
        {"llc.ssap", "0xaa"}, {"llc.oui", "12"}, {"llc.cisco_pid", "0x2004"}}},
      {"SnapEncapsulatedEthernet",
       Hex("01 80 c2 00 00 00 00 11 22 33 44 55 00 0e aa aa 03 00 00 00 81 37 ff ff 00 1e 00 00"),
       {"llc."},
       {{"llc.dsap", "0xaa"}, {"llc.ssap", "0xaa"}, {"llc.oui", "0"}, {"llc.type", "0x8137"}}},
      {"LlcSupervisory",
       Hex("01 80 c2 00 00 00 00 11 22 33 44 55 00 04 f0 f0 01 0c"),
       {"llc."},
       {{"llc.dsap", "0xf0"}, {"llc.ssap", "0xf0"}}},
      {"Ipv4Options",
       Hex("00 11 22 33 44 55 66 77 88 99 aa bb 08 00 4b b8 00 34 12 34 40 00 40 fd 87 0f c0 a8 01 0a 0a 00"
           "00 01 82 0b 00 00 00 01 00 02 00 00 03 01 44 0c 05 00 00 00 00 01 00 00 00 02 00 00 08 00 de ad"
           "be ef"),
       {"ip."},
       {{"ip.version", "4"}, {"ip.hdr_len", "44"}, {"ip.dsfield", "0xb8"}, {"ip.tos.precedence", "5"},
        {"ip.tos.delay", "1"}, {"ip.tos.throughput", "1"}, {"ip.tos.reliability", "0"}, {"ip.tos.cost", "0"},
        {"ip.len", "52"}, {"ip.id", "0x1234"}, {"ip.flags", "0x02"}, {"ip.flags.df", "1"}, {"ip.flags.mf", "0"},
        {"ip.frag_offset", "0"}, {"ip.ttl", "64"}, {"ip.proto", "253"}, {"ip.checksum", "0x870f"},
        {"ip.src", "192.168.1.10"}, {"ip.dst", "10.0.0.1"}, {"ip.options.nop", "01"},
        {"ip.options.security", "820b000000010002000003"}, {"ip.opt.sec_rfc791_sec", "0x0000"},
        {"ip.opt.sec_rfc791_comp", "1"}, {"ip.options.timestamp", "440c05000000000100000002"}, {"ip.opt.ptr", "5"},
        {"ip.opt.overflow", "0"}, {"ip.opt.flag", "0x00"}, {"ip.opt.time_stamp", "1,2"}}},
  };
  return cases;
}

// Frames for the paths the table leaves out; their fields must still cover
// their width at every cut.
struct NamedFrame {
  const char* name;
  Bytes frame;
};

const std::vector<NamedFrame>& MoreFrames() {
  static const std::vector<NamedFrame> frames = {
      {"TcpPartialOrderAndAltChecksum",
       Hex("00 11 22 33 44 55 66 77 88 99 aa bb 08 00 45 00 00 38 12 34 40 00 40 06 5c d9 c0 a8 01 0a 0a 00"
           "00 01 00 07 00 09 00 00 00 01 00 00 00 00 90 02 ff ff 12 34 00 00 09 02 0a 03 c5 0e 03 01 0f 05"
           "aa bb cc 00 00 00")},
      {"IcmpTimeExceededQuotingTcp",
       Hex("00 11 22 33 44 55 66 77 88 99 aa bb 08 00 45 00 00 38 12 34 40 00 40 01 5c de c0 a8 01 0a 0a 00"
           "00 01 0b 00 41 5f 00 00 00 00 45 00 00 28 12 34 40 00 40 06 14 9b 0a 00 00 01 0a 00 00 01 15 b3"
           "00 50 de ad be ef")},
      {"IcmpRedirect",
       Hex("00 11 22 33 44 55 66 77 88 99 aa bb 08 00 45 00 00 38 12 34 40 00 40 01 5c de c0 a8 01 0a 0a 00"
           "00 01 05 01 f0 00 0a 00 00 fe 45 00 00 1c 12 34 40 00 40 06 5c f5 c0 a8 01 0a 0a 00 00 01 00 00"
           "00 00 00 00 00 00")},
      {"IcmpParameterProblem",
       Hex("00 11 22 33 44 55 66 77 88 99 aa bb 08 00 45 00 00 38 12 34 40 00 40 01 5c de c0 a8 01 0a 0a 00"
           "00 01 0c 00 df ff 14 00 00 00 45 00 00 1c 12 34 40 00 40 06 5c f5 c0 a8 01 0a 0a 00 00 01 00 00"
           "00 00 00 00 00 00")},
      {"IcmpTimestampReply",
       Hex("00 11 22 33 44 55 66 77 88 99 aa bb 08 00 45 00 00 28 12 34 40 00 40 01 5c ee c0 a8 01 0a 0a 00"
           "00 01 0e 00 da 37 00 55 00 03 00 00 03 e8 00 00 07 d0 00 00 0b b8")},
      {"IcmpAddressMaskReply",
       Hex("00 11 22 33 44 55 66 77 88 99 aa bb 08 00 45 00 00 20 12 34 40 00 40 01 5c f6 c0 a8 01 0a 0a 00"
           "00 01 12 00 ee f4 00 09 00 01 ff ff ff 00")},
      // Entries of three words: wider than their address and preference.
      {"IcmpRouterAdvertisementWideEntries",
       Hex("00 11 22 33 44 55 66 77 88 99 aa bb 08 00 45 00 00 28 12 34 40 00 40 01 5c ee c0 a8 01 0a 0a 00"
           "00 01 09 00 00 00 01 03 07 08 0a 00 00 01 00 00 00 00 00 05 00 00")},
      {"IgmpLeave",
       Hex("00 11 22 33 44 55 66 77 88 99 aa bb 08 00 45 00 00 1c 12 34 40 00 01 02 9b f9 c0 a8 01 0a 0a 00"
           "00 01 17 00 00 00 e0 00 00 02")},
      {"Rarp",
       Hex("00 11 22 33 44 55 66 77 88 99 aa bb 80 35 00 01 08 00 06 04 00 04 00 11 22 33 44 55 c0 a8 01 0a"
           "66 77 88 99 aa bb c0 a8 01 02")},
      {"LlcInformation", Hex("01 80 c2 00 00 00 00 11 22 33 44 55 00 08 f0 f0 0a 0c 00 00 00 00")},
      {"LlcSupervisoryFunction3", Hex("01 80 c2 00 00 00 00 11 22 33 44 55 00 04 f0 f0 0d 0c")},
      {"LlcUnnumberedTest", Hex("01 80 c2 00 00 00 00 11 22 33 44 55 00 07 42 43 f3 00 00 00 00")},
      {"SnapBridgeTunnel", Hex("01 80 c2 00 00 00 00 11 22 33 44 55 00 0a aa aa 03 00 00 f8 80 f3 00 00")},
      {"Ipv4LaterFragment",
       Hex("00 11 22 33 44 55 66 77 88 99 aa bb 08 00 45 00 00 1c be ef 20 b9 40 11 cf 75 c0 a8 01 0a 0a 00"
           "00 01 01 02 03 04 05 06 07 08")},
  };
  return frames;
}

// Fields with names of their own, which tshark lacks or shows with another
// value or width (its LLC control field and TCP flags take 16 bits, its ICMP
// pointer 32, its query's max response time is decoded, its security
// option's handling and code are text), and the protocol lines: the golden
// lines below pin them.
bool IsOwnField(const FieldInfo& f) {
  static const std::set<std::string_view> own = {
      "ip.options", "ip.opt.sec_handling", "ip.opt.sec_tcc", "icmp.data", "icmp.ptr", "igmp.max_resp_code",
      "llc.control_u", "llc.s_ftype", "llc.control.n_s_bits", "llc.control.n_r_bits", "tcp.flags_byte",
      "tcp.options.pocp", "tcp.options.posp", "tcp.options.posp.start", "tcp.options.posp.end",
      "tcp.options.posp.filler", "tcp.options.alt_checksum_req", "tcp.options.alt_checksum_data",
      "tcp.options.alt_checksum_data.byte",
  };
  return f.type == FieldType::Protocol || own.contains(f.abbrev);
}

void Walk(const DecodeTree& tree, NodeId id, std::vector<NodeId>& out) {
  for (NodeId c = tree.FirstChild(id); c != kNoNode; c = tree.NextSibling(c)) {
    out.push_back(c);
    Walk(tree, c, out);
  }
}

// The lines in tree order, as tshark lists occurrences.
std::vector<NodeId> LinesInOrder(const DecodeTree& tree) {
  std::vector<NodeId> out;
  Walk(tree, kRootNode, out);
  return out;
}

// Every value of the field, comma-separated; empty when no line shows it.
std::string Occurrences(const DecodeTree& tree, std::span<const std::uint8_t> frame, std::string_view abbrev) {
  std::string out;
  for (const NodeId id : LinesInOrder(tree)) {
    const DecodeNode& n = tree[id];
    if (n.field == nullptr || n.field->abbrev != abbrev) continue;
    if (!out.empty()) out += ',';
    out += NodeValueText(n, frame);
  }
  return out;
}

// "abbrev [start,end)" of each fixed-width field line whose range is not its width.
std::vector<std::string> WidthMismatches(const DecodeTree& tree) {
  std::vector<std::string> out;
  for (NodeId id = 1; id <= static_cast<NodeId>(tree.LineCount()); ++id) {
    const DecodeNode& n = tree[id];
    if (n.field == nullptr || FieldWidth(*n.field) == 0) continue;
    if (n.end - n.start != FieldWidth(*n.field)) {
      out.push_back(std::string(n.field->abbrev) + " [" + std::to_string(n.start) + "," + std::to_string(n.end) +
                    ")");
    }
  }
  return out;
}

TEST(ClassicFields, ValuesAgreeWithTshark) {
  for (const FieldCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    const TreeDecode t = DecodeTreeOf(c.frame);
    for (const Expected& e : c.tshark) EXPECT_EQ(Occurrences(t.tree, c.frame, e.abbrev), e.value) << e.abbrev;
  }
}

TEST(ClassicFields, TablesListEveryFieldOfTheirLayers) {
  for (const FieldCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    std::set<std::string_view> listed;
    for (const Expected& e : c.tshark) listed.insert(e.abbrev);
    const TreeDecode t = DecodeTreeOf(c.frame);
    for (NodeId id = 1; id <= static_cast<NodeId>(t.tree.LineCount()); ++id) {
      const FieldInfo* f = t.tree[id].field;
      if (f == nullptr || IsOwnField(*f)) continue;
      for (const std::string_view layer : c.layers) {
        if (f->abbrev.starts_with(layer)) {
          EXPECT_TRUE(listed.contains(f->abbrev)) << f->abbrev;
        }
      }
    }
  }
}

// Every cut, the whole frame included: lines within the captured bytes, each
// field line as wide as its field, and summary mode reading only what is there.
void ExpectWholeFieldsAtEveryCut(const char* name, const Bytes& frame) {
  SCOPED_TRACE(name);
  for (std::size_t cut = 0; cut <= frame.size(); ++cut) {
    SCOPED_TRACE(cut);
    const Bytes part(frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(cut));
    const TreeDecode t = DecodeTreeOf(part);
    EXPECT_TRUE(RangesWithin(t.tree, static_cast<std::uint32_t>(cut)));
    EXPECT_EQ(WidthMismatches(t.tree), std::vector<std::string>{});
    DecodeSummaryOf(part);
  }
}

TEST(ClassicFields, EveryCutShowsWholeFieldsOfTheirWidth) {
  for (const FieldCase& c : Cases()) ExpectWholeFieldsAtEveryCut(c.name, c.frame);
  for (const NamedFrame& f : MoreFrames()) ExpectWholeFieldsAtEveryCut(f.name, f.frame);
}

const Bytes& FrameOf(std::string_view name) {
  for (const FieldCase& c : Cases()) {
    if (c.name == name) return c.frame;
  }
  for (const NamedFrame& f : MoreFrames()) {
    if (f.name == name) return f.frame;
  }
  static const Bytes none;
  return none;
}

// The field lines from the first one that starts with `from` up to the next
// one indented no deeper: the lines of one layer or option, whatever the
// decoders of other layers show.
std::string FieldsFrom(std::string_view frameName, std::string_view from) {
  const Bytes& frame = FrameOf(frameName);
  const std::string text = FieldsText(DecodeTreeOf(frame).tree, frame);
  std::size_t at = text.find(from);
  if (at == std::string::npos) return {};
  const std::size_t indent = from.find_first_not_of(' ');
  std::string out;
  for (bool first = true; at < text.size(); first = false) {
    const std::size_t end = text.find('\n', at) + 1;
    const std::string_view line(text.data() + at, end - at);
    if (!first && line.find_first_not_of(' ') <= indent) break;
    out += line;
    at = end;
  }
  return out;
}

TEST(ClassicFields, GoldenFieldLines) {
  EXPECT_EQ(FieldsFrom("TcpSynWithOptions", "eth=") + FieldsFrom("TcpSynWithOptions", "ip=") +
                FieldsFrom("TcpSynWithOptions", "tcp="),
            "eth=Ethernet II [0,14)\n"
            "  eth.dst=00:00:00:00:00:00 [0,6)\n"
            "  eth.src=00:00:00:00:00:00 [6,12)\n"
            "  eth.type=0x0800 [12,14)\n"
            "ip=IPv4 [14,34)\n"
            "  ip.version=4 [14,15)\n"
            "  ip.hdr_len=20 [14,15)\n"
            "  ip.dsfield=0x00 [15,16)\n"
            "    ip.tos.precedence=0 [15,16)\n"
            "    ip.tos.delay=0 [15,16)\n"
            "    ip.tos.throughput=0 [15,16)\n"
            "    ip.tos.reliability=0 [15,16)\n"
            "    ip.tos.cost=0 [15,16)\n"
            "  ip.len=60 [16,18)\n"
            "  ip.id=0x1b68 [18,20)\n"
            "  ip.flags=0x02 [20,21)\n"
            "    ip.flags.df=1 [20,21)\n"
            "    ip.flags.mf=0 [20,21)\n"
            "  ip.frag_offset=0 [20,22)\n"
            "  ip.ttl=64 [22,23)\n"
            "  ip.proto=6 [23,24)\n"
            "  ip.checksum=0x2152 [24,26)\n"
            "  ip.src=127.0.0.1 [26,30)\n"
            "  ip.dst=127.0.0.1 [30,34)\n"
            "tcp=TCP [34,74)\n"
            "  tcp.srcport=55920 [34,36)\n"
            "  tcp.dstport=80 [36,38)\n"
            "  tcp.seq_raw=928549246 [38,42)\n"
            "  tcp.ack_raw=0 [42,46)\n"
            "  tcp.hdr_len=40 [46,47)\n"
            "  tcp.flags_byte=0x02 [47,48)\n"
            "    tcp.flags.fin=0 [47,48)\n"
            "    tcp.flags.syn=1 [47,48)\n"
            "    tcp.flags.reset=0 [47,48)\n"
            "    tcp.flags.push=0 [47,48)\n"
            "    tcp.flags.ack=0 [47,48)\n"
            "    tcp.flags.urg=0 [47,48)\n"
            "  tcp.window_size_value=32767 [48,50)\n"
            "  tcp.checksum=0x1421 [50,52)\n"
            "  tcp.urgent_pointer=0 [52,54)\n"
            "  tcp.options=0204400c0402080a4ddc92160000000001030302 [54,74)\n"
            "    tcp.options.mss=0204400c [54,58)\n"
            "    tcp.options.sack_perm=0402 [58,60)\n"
            "    tcp.options.timestamp=080a4ddc921600000000 [60,70)\n"
            "    tcp.options.nop=01 [70,71)\n"
            "    tcp.options.wscale=030302 [71,74)\n");
  // The security option's handling restrictions and transmission control
  // code are numbers here.
  EXPECT_EQ(FieldsFrom("Ipv4Options", "  ip.options="),
            "  ip.options=820b00000001000200000301440c05000000000100000002 [34,58)\n"
            "    ip.options.security=820b000000010002000003 [34,45)\n"
            "      ip.opt.sec_rfc791_sec=0x0000 [36,38)\n"
            "      ip.opt.sec_rfc791_comp=1 [38,40)\n"
            "      ip.opt.sec_handling=2 [40,42)\n"
            "      ip.opt.sec_tcc=3 [42,45)\n"
            "    ip.options.nop=01 [45,46)\n"
            "    ip.options.timestamp=440c05000000000100000002 [46,58)\n"
            "      ip.opt.ptr=5 [48,49)\n"
            "      ip.opt.overflow=0 [49,50)\n"
            "      ip.opt.flag=0x00 [49,50)\n"
            "      ip.opt.time_stamp=1 [50,54)\n"
            "      ip.opt.time_stamp=2 [54,58)\n");
  // The alternate checksum data line has no range; its bytes have theirs.
  EXPECT_EQ(FieldsFrom("TcpPartialOrderAndAltChecksum", "  tcp.options="),
            "  tcp.options=09020a03c50e03010f05aabbcc000000 [54,70)\n"
            "    tcp.options.pocp=0902 [54,56)\n"
            "    tcp.options.posp=0a03c5 [56,59)\n"
            "      tcp.options.posp.start=1 [58,59)\n"
            "      tcp.options.posp.end=1 [58,59)\n"
            "      tcp.options.posp.filler=5 [58,59)\n"
            "    tcp.options.alt_checksum_req=0e0301 [59,62)\n"
            "    tcp.options.alt_checksum_data=\n"
            "      tcp.options.alt_checksum_data.byte=170 [64,65)\n"
            "      tcp.options.alt_checksum_data.byte=187 [65,66)\n"
            "      tcp.options.alt_checksum_data.byte=204 [66,67)\n");
  // The first control byte alone: the U format's, and a supervisory function.
  EXPECT_EQ(FieldsFrom("LlcSnapCisco", "llc="),
            "llc=LLC [14,17)\n"
            "  llc.dsap=0xaa [14,15)\n"
            "  llc.ssap=0xaa [15,16)\n"
            "  llc.control_u=0x03 [16,17)\n");
  EXPECT_EQ(FieldsFrom("LlcSupervisory", "llc="),
            "llc=LLC [14,17)\n"
            "  llc.dsap=0xf0 [14,15)\n"
            "  llc.ssap=0xf0 [15,16)\n"
            "  llc.s_ftype=0x00 [16,17)\n");
  // A query's code as carried.
  EXPECT_EQ(FieldsFrom("IgmpV3Query", "igmp="),
            "igmp=IGMP [38,50)\n"
            "  igmp.type=0x11 [38,39)\n"
            "  igmp.max_resp_code=0xfe [39,40)\n"
            "  igmp.checksum=0xeb84 [40,42)\n"
            "  igmp.maddr=0.0.0.0 [42,46)\n"
            "  igmp.s=0 [46,47)\n"
            "  igmp.qrv=2 [46,47)\n"
            "  igmp.qqic=125 [47,48)\n"
            "  igmp.num_src=0 [48,50)\n");
  // N(S) and N(R) as their bytes hold them, the low bit cleared.
  EXPECT_EQ(FieldsFrom("LlcInformation", "llc="),
            "llc=LLC [14,17)\n"
            "  llc.dsap=0xf0 [14,15)\n"
            "  llc.ssap=0xf0 [15,16)\n"
            "  llc.control.n_s_bits=10 [16,17)\n"
            "  llc.control.n_r_bits=12 [17,18)\n");
}

}  // namespace
}  // namespace qv
