// The lines of the classic link-layer decoders (Linux cooked, BSD loopback,
// raw IP) and of IPX, NetBIOS, SMB, BPDU, X.25 and XNS name the fields they
// show. Their values and ranges are the ones tshark gives the same fields on
// the same frames: real captures where the corpus has such frames, built
// frames (checked against tshark) where it has none.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "decode/link_types.h"
#include "decode_helpers.h"

namespace qv {
namespace {

using namespace qv::testing;

struct FieldCase {
  const char* name;
  int linkType;
  const char* frame;
  // FieldsText() restricted to the fields of these decoders.
  const char* fields;
};

// The protocols whose fields these decoders show: the part of an
// abbreviation before its first dot.
const std::set<std::string_view> kOwnProtocols = {"sll",     "null", "raw", "ipx", "nbipx", "nmpi",
                                                  "netbios", "smb",  "stp", "x25",   "xns", "linktype"};

bool IsOwn(std::string_view abbrev) { return kOwnProtocols.contains(abbrev.substr(0, abbrev.find('.'))); }

// FieldsText() without the lines of the other decoders.
std::string OwnFieldsText(const DecodeTree& tree, std::span<const std::uint8_t> frame) {
  std::istringstream all(FieldsText(tree, frame));
  std::string out;
  for (std::string line; std::getline(all, line);) {
    const std::size_t start = line.find_first_not_of(' ');
    if (IsOwn(std::string_view(line).substr(start, line.find('=') - start))) out += line + '\n';
  }
  return out;
}

// The lines of the tree that show one of these decoders' fields.
std::vector<NodeId> OwnFieldLines(const DecodeTree& tree) {
  std::vector<NodeId> out;
  for (NodeId id = 1; id <= static_cast<NodeId>(tree.LineCount()); ++id) {
    if (tree[id].field != nullptr && IsOwn(tree[id].field->abbrev)) out.push_back(id);
  }
  return out;
}

// "abbrev=value [start,end)" of a field line.
std::string FieldLineText(const DecodeTree& tree, NodeId id, std::span<const std::uint8_t> frame) {
  const DecodeNode& n = tree[id];
  return std::string(n.field->abbrev) + "=" + NodeValueText(n, frame) + " [" + std::to_string(n.start) + "," +
         std::to_string(n.end) + ")";
}

// The corpus frames are named by file and number; the built ones were checked
// with tshark as savefiles of their own. Fields tshark lacks (or gives another
// value) have names of their own: sll.v2.*, raw.version, nmpi.name,
// netbios.data1, netbios.dst_name/src_name, smb.delimiter, smb.id,
// smb.header_reserved, stp.root.id, stp.bridge.id and the stp.*_le numbers.
const FieldCase kCases[] = {
    // linktypes/tcp-handshake-nano.pcap, frame 1
    {"cooked v1, PPP, no address", kLinkTypeLinuxSll,
     "000402000000000000000000000008004500003c29a940004006db5f839bd745"
     "8974515eb64000502f842acb00000000a0026a4050c40000020405500402080a"
     "436a03620000000001030307",
     "sll=Linux cooked capture [0,16)\n"
     "  sll.pkttype=4 [0,2)\n"
     "  sll.hatype=512 [2,4)\n"
     "  sll.halen=0 [4,6)\n"
     "  sll.unused=0000000000000000 [6,14)\n"
     "  sll.etype=0x0800 [14,16)\n"},
    // linktypes/mptcp-v1.pcap, frame 1
    {"cooked v1, Ethernet address", kLinkTypeLinuxSll,
     "000000010006323287aa04020000080045000040ad7f4000400676370a000101"
     "0a000201821a271481fbb5fd00000000b002ffff17340000020405b40402080a"
     "1baf9ea100000000010303081e040101",
     "sll=Linux cooked capture [0,16)\n"
     "  sll.pkttype=0 [0,2)\n"
     "  sll.hatype=1 [2,4)\n"
     "  sll.halen=6 [4,6)\n"
     "  sll.src.eth=32:32:87:aa:04:02 [6,12)\n"
     "  sll.etype=0x0800 [14,16)\n"},
    // built: a kernel protocol number, not an EtherType
    {"cooked v1, 802.2 payload", kLinkTypeLinuxSll,
     "00030001000000000000000000000004f0f0030000",
     "sll=Linux cooked capture [0,16)\n"
     "  sll.pkttype=3 [0,2)\n"
     "  sll.hatype=1 [2,4)\n"
     "  sll.halen=0 [4,6)\n"
     "  sll.unused=0000000000000000 [6,14)\n"
     "  sll.ltype=0x0004 [14,16)\n"
     "netbios=NetBIOS\n"},
    // built: a GRE device names the GRE protocol type
    {"cooked v1, GRE tunnel", kLinkTypeLinuxSll,
     "0000030a00040a0000010000000065584500001c00000000401100000a010203"
     "0a09080714e9003500080000",
     "sll=Linux cooked capture [0,16)\n"
     "  sll.pkttype=0 [0,2)\n"
     "  sll.hatype=778 [2,4)\n"
     "  sll.halen=4 [4,6)\n"
     "  sll.src.ipv4=10.0.0.1 [6,10)\n"
     "  sll.gretype=0x6558 [14,16)\n"},
    // built: no capture of the corpus has version 2
    {"cooked v2, Ethernet address", kLinkTypeLinuxSll2,
     "08000000000000030001040602000000000100004500001c0000000040110000"
     "0a0102030a09080714e9003500080000",
     "sll=Linux cooked capture v2 [0,20)\n"
     "  sll.etype=0x0800 [0,2)\n"
     "  sll.ifindex=3 [4,8)\n"
     "  sll.hatype=1 [8,10)\n"
     "  sll.v2.pkttype=4 [10,11)\n"
     "  sll.v2.halen=6 [11,12)\n"
     "  sll.src.eth=02:00:00:00:00:01 [12,18)\n"},
    // built
    {"cooked v2, IPv4 address", kLinkTypeLinuxSll2,
     "0800000000000007000103040a000001000000004500001c0000000040110000"
     "0a0102030a09080714e9003500080000",
     "sll=Linux cooked capture v2 [0,20)\n"
     "  sll.etype=0x0800 [0,2)\n"
     "  sll.ifindex=7 [4,8)\n"
     "  sll.hatype=1 [8,10)\n"
     "  sll.v2.pkttype=3 [10,11)\n"
     "  sll.v2.halen=4 [11,12)\n"
     "  sll.src.ipv4=10.0.0.1 [12,16)\n"},
    // linktypes/dns-badcookie.pcap, frame 1 (written least significant byte first)
    {"null, writer order", kLinkTypeNull,
     "0200000045000044000f0000401100007f0000017f000001d6aa00350030fe43"
     "f6ab012000010000000000010000060001000029100000000000000c000a0008"
     "36bf111fef2e0109",
     "null=BSD loopback [0,4)\n"
     "  null.family=2 [0,4)\n"},
    // built: family 30 read most significant byte first
    {"loop, network order", kLinkTypeLoop,
     "0000001e600000000008000020010db800000000000000000000000120010db8"
     "00000000000000000000000214e9003500080000",
     "null=BSD loopback [0,4)\n"
     "  null.family=30 [0,4)\n"},
    // linktypes/LINKTYPE_RAW_ipv4.pcap, frame 1 (the version is tshark's ip.version)
    {"raw, IPv4", kLinkTypeRaw,
     "45000039000100004011a695c0a8016409090909303900350025197612340100"
     "0001000000000000076578616d706c6503636f6d0000010001",
     "raw=Raw IP\n"
     "  raw.version=4 [0,1)\n"},
    // linktypes/LINKTYPE_RAW_ipv6.pcap, frame 1 (ipv6.version)
    {"raw, IPv6", kLinkTypeRaw,
     "600000000025114020010db8000000000000000000000001262000fe00000000"
     "000000000000000930390035002598b312340100000100000000000007657861"
     "6d706c6503636f6d0000010001",
     "raw=Raw IP\n"
     "  raw.version=6 [0,1)\n"},
    // linktypes/LINKTYPE_IPV4.pcap, frame 1
    {"IPv4 link type", kLinkTypeIpv4,
     "45000039000100004011a695c0a8016409090909303900350025197612340100"
     "0001000000000000076578616d706c6503636f6d0000010001",
     "raw=Raw IP\n"
     "  raw.version=4 [0,1)\n"},
    // ipx.pcap, frame 5
    {"IPX RIP", kLinkTypeEthernet,
     "ffffffffffff0003471bc1a8002ce0e003ffff0028000100000000ffffffffff"
     "ff0453000000000003471bc1a804530002a8f8796700010002000000",
     "ipx=IPX [17,47)\n"
     "  ipx.checksum=0xffff [17,19)\n"
     "  ipx.len=40 [19,21)\n"
     "  ipx.hops=0 [21,22)\n"
     "  ipx.packet_type=0x01 [22,23)\n"
     "  ipx.dst.net=0x00000000 [23,27)\n"
     "  ipx.dst.node=ff:ff:ff:ff:ff:ff [27,33)\n"
     "  ipx.dst.socket=0x0453 [33,35)\n"
     "  ipx.src.net=0x00000000 [35,39)\n"
     "  ipx.src.node=00:03:47:1b:c1:a8 [39,45)\n"
     "  ipx.src.socket=0x0453 [45,47)\n"},
    // ipx.pcap, frame 6
    {"IPX SAP", kLinkTypeEthernet,
     "ffffffffffff0030c1bf57550063e0e003ffff0060000000000000ffffffffff"
     "ff0452000000000030c1bf575504520002030c30303330433142463537353538"
     "3044304e50494246353735350000000000000000000000000000000000000000"
     "000000000000000030c1bf5755400c0001",
     "ipx=IPX [17,47)\n"
     "  ipx.checksum=0xffff [17,19)\n"
     "  ipx.len=96 [19,21)\n"
     "  ipx.hops=0 [21,22)\n"
     "  ipx.packet_type=0x00 [22,23)\n"
     "  ipx.dst.net=0x00000000 [23,27)\n"
     "  ipx.dst.node=ff:ff:ff:ff:ff:ff [27,33)\n"
     "  ipx.dst.socket=0x0452 [33,35)\n"
     "  ipx.src.net=0x00000000 [35,39)\n"
     "  ipx.src.node=00:30:c1:bf:57:55 [39,45)\n"
     "  ipx.src.socket=0x0452 [45,47)\n"},
    // built: two hops, so tshark shows the first two networks
    {"NBIPX name", kLinkTypeEthernet,
     "ffffffffffff0200000000010053e0e003ffff0050021400000000ffffffffff"
     "ff0455a8f8796700000000000104551122334455667788000000000000000000"
     "000000000000000000000000000000000101025f5f4d5342524f5753455f5f02"
     "01",
     "ipx=IPX [17,47)\n"
     "  ipx.checksum=0xffff [17,19)\n"
     "  ipx.len=80 [19,21)\n"
     "  ipx.hops=2 [21,22)\n"
     "  ipx.packet_type=0x14 [22,23)\n"
     "  ipx.dst.net=0x00000000 [23,27)\n"
     "  ipx.dst.node=ff:ff:ff:ff:ff:ff [27,33)\n"
     "  ipx.dst.socket=0x0455 [33,35)\n"
     "  ipx.src.net=0xa8f87967 [35,39)\n"
     "  ipx.src.node=00:00:00:00:00:01 [39,45)\n"
     "  ipx.src.socket=0x0455 [45,47)\n"
     "nbipx=NBIPX [47,97)\n"
     "    nmpi.ipx_network=0x11223344 [47,51)\n"
     "    nmpi.ipx_network=0x55667788 [51,55)\n"
     "    nmpi.ipx_network=0x00000000 [55,59)\n"
     "    nmpi.ipx_network=0x00000000 [59,63)\n"
     "    nmpi.ipx_network=0x00000000 [63,67)\n"
     "    nmpi.ipx_network=0x00000000 [67,71)\n"
     "    nmpi.ipx_network=0x00000000 [71,75)\n"
     "    nmpi.ipx_network=0x00000000 [75,79)\n"
     "  nmpi.name_flags=0x00 [79,80)\n"
     "  nmpi.packettype=0x01 [80,81)\n"
     "  nmpi.name=01025f5f4d5342524f5753455f5f0201 [81,97)\n"},
    // built: session data carrying an SMB echo request
    {"NBIPX session, SMB", kLinkTypeEthernet,
     "ffffffffffff020000000001005be0e003ffff0060000400000000ffffffffff"
     "ff0455a8f8796700000000000104555006341278560100200000002000020003"
     "00ff534d422b0100020018032000000000000000000000000005000600070008"
     "000101000300616263",
     "ipx=IPX [17,47)\n"
     "  ipx.checksum=0xffff [17,19)\n"
     "  ipx.len=96 [19,21)\n"
     "  ipx.hops=0 [21,22)\n"
     "  ipx.packet_type=0x04 [22,23)\n"
     "  ipx.dst.net=0x00000000 [23,27)\n"
     "  ipx.dst.node=ff:ff:ff:ff:ff:ff [27,33)\n"
     "  ipx.dst.socket=0x0455 [33,35)\n"
     "  ipx.src.net=0xa8f87967 [35,39)\n"
     "  ipx.src.node=00:00:00:00:00:01 [39,45)\n"
     "  ipx.src.socket=0x0455 [45,47)\n"
     "nbipx=NBIPX [47,65)\n"
     "  nmpi.conn_control=0x50 [47,48)\n"
     "  nmpi.packettype=0x06 [48,49)\n"
     "  nmpi.session.src_conn_id=0x1234 [49,51)\n"
     "  nmpi.session.dest_conn_id=0x5678 [51,53)\n"
     "  nmpi.session.send_seq_number=1 [53,55)\n"
     "  nmpi.session.total_data_length=32 [55,57)\n"
     "  nmpi.session.offset=0 [57,59)\n"
     "  nmpi.session.data_length=32 [59,61)\n"
     "  nmpi.session.recv_seq_number=2 [61,63)\n"
     "  nmpi.session.bytes_received=3 [63,65)\n"
     "smb=SMB [65,105)\n"
     "  smb.delimiter=0xff [65,66)\n"
     "  smb.id=0x534d42 [66,69)\n"
     "  smb.cmd=0x2b [69,70)\n"
     "  smb.error_class=0x01 [70,71)\n"
     "  smb.reserved=00 [71,72)\n"
     "  smb.error_code=0x0002 [72,74)\n"
     "  smb.flags=0x18 [74,75)\n"
     "  smb.flags2=0x2003 [75,77)\n"
     "  smb.header_reserved=000000000000000000000000 [77,89)\n"
     "  smb.tid=5 [89,91)\n"
     "  smb.pid=6 [91,93)\n"
     "  smb.uid=7 [93,95)\n"
     "  smb.mid=8 [95,97)\n"
     "  smb.wct=1 [97,98)\n"
     "  smb.word_parameters=0100 [98,100)\n"
     "  smb.bcc=3 [100,102)\n"
     "  smb.byte_parameters=616263 [102,105)\n"},
    // built: NetBIOS over LLC is not in the corpus
    {"NetBIOS datagram, SMB", kLinkTypeEthernet,
     "ffffffffffff0200000000010057f0f0032c00ffef0800000000000000464f4f"
     "2020202020202020202020202042415220202020202020202020202000ff534d"
     "422b010002001803200000000000000000000000000500060007000800010100"
     "0300616263",
     "netbios=NetBIOS [17,61)\n"
     "  netbios.hdr_len=44 [17,19)\n"
     "  netbios.delimiter=0xefff [19,21)\n"
     "smb=SMB [61,101)\n"
     "  smb.delimiter=0xff [61,62)\n"
     "  smb.id=0x534d42 [62,65)\n"
     "  smb.cmd=0x2b [65,66)\n"
     "  smb.error_class=0x01 [66,67)\n"
     "  smb.reserved=00 [67,68)\n"
     "  smb.error_code=0x0002 [68,70)\n"
     "  smb.flags=0x18 [70,71)\n"
     "  smb.flags2=0x2003 [71,73)\n"
     "  smb.header_reserved=000000000000000000000000 [73,85)\n"
     "  smb.tid=5 [85,87)\n"
     "  smb.pid=6 [87,89)\n"
     "  smb.uid=7 [89,91)\n"
     "  smb.mid=8 [91,93)\n"
     "  smb.wct=1 [93,94)\n"
     "  smb.word_parameters=0100 [94,96)\n"
     "  smb.bcc=3 [96,98)\n"
     "  smb.byte_parameters=616263 [98,101)\n"
     "  netbios.command=0x08 [21,22)\n"
     "  netbios.data1=0x00 [22,23)\n"
     "  netbios.data2=0x0000 [23,25)\n"
     "  netbios.xmit_corrl=0x0000 [25,27)\n"
     "  netbios.resp_corrl=0x0000 [27,29)\n"
     "  netbios.dst_name=464f4f20202020202020202020202020 [29,45)\n"
     "  netbios.src_name=42415220202020202020202020202000 [45,61)\n"},
    // built: a command without parameters of its own, whose words and bytes tshark shows whole
    {"NetBIOS session data, SMB", kLinkTypeEthernet,
     "ffffffffffff020000000001003bf0f0030e00ffef1605070009000b002122ff"
     "534d42fe00000000000000000000000000000000000000000034120000010002"
     "010002000300616263",
     "netbios=NetBIOS [17,31)\n"
     "  netbios.hdr_len=14 [17,19)\n"
     "  netbios.delimiter=0xefff [19,21)\n"
     "smb=SMB [31,73)\n"
     "  smb.delimiter=0xff [31,32)\n"
     "  smb.id=0x534d42 [32,35)\n"
     "  smb.cmd=0xfe [35,36)\n"
     "  smb.error_class=0x00 [36,37)\n"
     "  smb.reserved=00 [37,38)\n"
     "  smb.error_code=0x0000 [38,40)\n"
     "  smb.flags=0x00 [40,41)\n"
     "  smb.flags2=0x0000 [41,43)\n"
     "  smb.header_reserved=000000000000000000000000 [43,55)\n"
     "  smb.tid=0 [55,57)\n"
     "  smb.pid=4660 [57,59)\n"
     "  smb.uid=0 [59,61)\n"
     "  smb.mid=1 [61,63)\n"
     "  smb.wct=2 [63,64)\n"
     "  smb.word_parameters=01000200 [64,68)\n"
     "  smb.bcc=3 [68,70)\n"
     "  smb.byte_parameters=616263 [70,73)\n"
     "  netbios.command=0x16 [21,22)\n"
     "  netbios.data1=0x05 [22,23)\n"
     "  netbios.data2=0x0007 [23,25)\n"
     "  netbios.xmit_corrl=0x0009 [25,27)\n"
     "  netbios.resp_corrl=0x000b [27,29)\n"
     "  netbios.remote_session=0x21 [29,30)\n"
     "  netbios.local_session=0x22 [30,31)\n"},
    // 802.1D_spanning_tree.pcap, frame 1; the two-byte numbers are read least significant byte first,
    // so they are fields of their own (tshark: stp.port 0x8005, stp.max_age 20 ...)
    {"STP", kLinkTypeEthernet,
     "0180c2000000001906eab885002642420300000000008001001906eab8800000"
     "00008001001906eab88080050000140002000f000000000000000000",
     "stp=BPDU [17,52)\n"
     "  stp.protocol_le=0x0000 [17,19)\n"
     "  stp.version=0 [19,20)\n"
     "  stp.type=0x00 [20,21)\n"
     "  stp.flags=0x00 [21,22)\n"
     "  stp.root.id=8001001906eab880 [22,30)\n"
     "  stp.root.cost=0 [30,34)\n"
     "  stp.bridge.id=8001001906eab880 [34,42)\n"
     "  stp.port_le=0x0580 [42,44)\n"
     "  stp.msg_age_le=0 [44,46)\n"
     "  stp.max_age_le=20 [46,48)\n"
     "  stp.hello_le=2 [48,50)\n"
     "  stp.forward_le=15 [50,52)\n"},
    // 802.1w_rapid_STP.pcap, frame 1
    {"RSTP", kLinkTypeEthernet,
     "0180c2000000001906eab88c0027424203000002020e8001001906eab8800000"
     "00008001001906eab880800c0000140002000f000000000000000000",
     "stp=BPDU [17,52)\n"
     "  stp.protocol_le=0x0000 [17,19)\n"
     "  stp.version=2 [19,20)\n"
     "  stp.type=0x02 [20,21)\n"
     "  stp.flags=0x0e [21,22)\n"
     "  stp.root.id=8001001906eab880 [22,30)\n"
     "  stp.root.cost=0 [30,34)\n"
     "  stp.bridge.id=8001001906eab880 [34,42)\n"
     "  stp.port_le=0x0c80 [42,44)\n"
     "  stp.msg_age_le=0 [44,46)\n"
     "  stp.max_age_le=20 [46,48)\n"
     "  stp.hello_le=2 [48,50)\n"
     "  stp.forward_le=15 [50,52)\n"},
    // built
    {"X.25", kLinkTypeEthernet,
     "ffffffffffff02000000000100077e7e0310010b00",
     "x25=X.25 PLP\n"},
    // built
    {"XNS", kLinkTypeEthernet,
     "ffffffffffff0200000000010021808003ffff001e000400000001ffffffffff"
     "ff0455000000020200000000010455",
     "xns=XNS\n"},
};

TreeDecode TreeOf(const FieldCase& c, std::span<const std::uint8_t> frame) {
  return DecodeTreeOf(frame, nullptr, EnabledDecoders::Classic(), c.linkType);
}

TEST(ClassicFieldsB, ValuesAndRangesAreTsharks) {
  for (const FieldCase& c : kCases) {
    SCOPED_TRACE(c.name);
    const Bytes frame = Hex(c.frame);
    const TreeDecode t = TreeOf(c, frame);
    EXPECT_EQ(OwnFieldsText(t.tree, frame), c.fields) << t.text;
  }
}

TEST(ClassicFieldsB, FieldsAreRegisteredOnceAndCoverTheirWidth) {
  for (const FieldCase& c : kCases) {
    SCOPED_TRACE(c.name);
    const Bytes frame = Hex(c.frame);
    const TreeDecode t = TreeOf(c, frame);
    for (const NodeId id : OwnFieldLines(t.tree)) {
      const DecodeNode& n = t.tree[id];
      SCOPED_TRACE(n.text);
      EXPECT_EQ(FindField(n.field->abbrev), n.field);
      EXPECT_EQ(std::count_if(RegisteredFields().begin(), RegisteredFields().end(),
                              [&](const FieldInfo* f) { return f->abbrev == n.field->abbrev; }),
                1);
      if (const std::uint32_t width = FieldWidth(*n.field)) {
        EXPECT_EQ(n.end - n.start, width);
      }
    }
  }
}

// Cut at every byte, a frame decodes within what is left, and every field
// line that remains (layer lines aside, whose ranges are clipped) shows what
// it shows in the whole frame.
TEST(ClassicFieldsB, EveryCutShowsWholeFieldsOnly) {
  for (const FieldCase& c : kCases) {
    SCOPED_TRACE(c.name);
    const Bytes frame = Hex(c.frame);
    const TreeDecode whole = TreeOf(c, frame);
    std::set<std::string> wholeLines;
    for (const NodeId id : OwnFieldLines(whole.tree)) wholeLines.insert(FieldLineText(whole.tree, id, frame));
    for (std::size_t length = 0; length < frame.size(); ++length) {
      SCOPED_TRACE(length);
      // A buffer of its own, so that the sanitizers see a read past its end.
      const Bytes cut(frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(length));
      const TreeDecode t = TreeOf(c, cut);
      EXPECT_TRUE(RangesWithin(t.tree, static_cast<std::uint32_t>(length))) << t.text;
      for (const NodeId id : OwnFieldLines(t.tree)) {
        if (t.tree[id].field->type == FieldType::Protocol) continue;
        EXPECT_TRUE(wholeLines.contains(FieldLineText(t.tree, id, cut))) << FieldLineText(t.tree, id, cut);
      }
      DecodeSummaryOf(cut, EnabledDecoders::Classic(), c.linkType);
    }
  }
}

// A link type without a decoder: the whole frame is its one layer.
TEST(ClassicFieldsB, OtherLinkTypeIsALayerOfItsOwn) {
  const Bytes frame = Hex("00112233");
  const TreeDecode t = DecodeTreeOf(frame, nullptr, EnabledDecoders::Classic(), 147);
  ASSERT_EQ(OwnFieldLines(t.tree).size(), 1u) << t.text;
  const DecodeNode& line = t.tree[OwnFieldLines(t.tree).front()];
  EXPECT_EQ(line.field->abbrev, "linktype");
  EXPECT_EQ(line.text.rfind("Link type 147 (", 0), 0u) << line.text;
  EXPECT_EQ(line.end, 4u);
}

}  // namespace
}  // namespace qv
