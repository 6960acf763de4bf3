#include "decode/ipx.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "decode/nbipx.h"
#include "decode_helpers.h"

namespace qv {
namespace {

using namespace qv::testing;

const framegen::Mac kDst{0xff, 0xff, 0xff, 0xff, 0xff, 0xff};
const framegen::Mac kSrc{0x00, 0x03, 0x47, 0x1b, 0xc1, 0xa8};

const char* const kEthernetLines =
    "Ethernet II [0,14)\n"
    "  Destination MAC: FF:FF:FF:FF:FF:FF - Broadcast [0,6)\n"
    "  Source MAC: 00:03:47:1B:C1:A8 [6,12)\n"
    "  Type: 0x8137 - IPX [12,14)\n";

// An IPX header: checksum, length, transport control, packet type,
// destination network/node/socket, source network/node/socket.
Bytes IpxHeader(std::uint16_t length, std::uint8_t type, std::uint16_t dstSocket, std::uint16_t srcSocket) {
  Bytes h = Hex("ffff");
  h.push_back(static_cast<std::uint8_t>(length >> 8));
  h.push_back(static_cast<std::uint8_t>(length));
  h.push_back(0x00);
  h.push_back(type);
  const Bytes dst = Hex("00000000 ffffffffffff");
  h.insert(h.end(), dst.begin(), dst.end());
  h.push_back(static_cast<std::uint8_t>(dstSocket >> 8));
  h.push_back(static_cast<std::uint8_t>(dstSocket));
  const Bytes src = Hex("a8f87967 0013206183a3");
  h.insert(h.end(), src.begin(), src.end());
  h.push_back(static_cast<std::uint8_t>(srcSocket >> 8));
  h.push_back(static_cast<std::uint8_t>(srcSocket));
  return h;
}

// NBIPX connection header: control flag 0x10, stream type 0x04, source
// connection 0x0201, destination connection 0x1234, send sequence 5, total
// length 0x0123, offset 0, data length 0x00ff, receive sequence 0x0100,
// bytes received 2 -- every word least significant byte first.
const char* const kConnectionHeader = "10 04 0102 3412 0500 2301 0000 ff00 0001 0200";

// An SMB header with WC = 0 and BC = 0: SMBtrans, error class 1, error code 2.
const char* const kSmbHeader =
    "ff534d42 25 01 00 0200 18 03c8 000000000000000000000000 0100 feff 0008 0700 00 0000";

// IPX to the NetBIOS socket, a connection header, an SMB message.
Bytes NbipxSmbFrame() {
  return FrameBuilder()
      .Ethernet(kDst, kSrc, 0x8137)
      .Raw(IpxHeader(83, 0x04, 0x0455, 0x0455))
      .Raw(Hex(kConnectionHeader))
      .Raw(Hex(kSmbHeader))
      .Build();
}

// IPX to the NetBIOS socket with length 80: a 50-byte name packet.
Bytes NbipxNameFrame() {
  return FrameBuilder()
      .Ethernet(kDst, kSrc, 0x8137)
      .Raw(IpxHeader(80, 0x14, 0x0455, 0x0455))
      .Raw(Hex("01020304 05060708 090a0b0c 0d0e0f10 11121314 15161718 191a1b1c 1d1e1f20"))
      .Raw(Hex("ab 02"))
      .Text("ADMINTEST")  // a zero byte ends the name before the last six bytes
      .Raw(Hex("00 585858 58581d"))
      .Build();
}

TEST(Ipx, RipSocketIsNamedAndOfferedToTheScripts) {
  const Bytes frame = FrameBuilder()
                          .Ethernet(kDst, kSrc, 0x8137)
                          .Raw(Hex("ffff 0028 01 01 00000000 ffffffffffff 0453 a8f87967 0003471bc1a8 0453"))
                          .Raw(Hex("0002 a8f87967 0001 0002"))
                          .PadTo(60)
                          .Build();
  RecordingScripts scripts;
  const TreeDecode t = DecodeTreeOf(frame, &scripts);
  EXPECT_EQ(t.text, std::string(kEthernetLines) +
                        "IPX [14,44)\n"
                        "  Checksum: 65535 (0xffff) [14,16)\n"
                        "  Length: 40 (0x0028) [16,18)\n"
                        "  Transport control: 1 (0x01) [18,19)\n"
                        "  Packet type: 1 (0x01) - RIP [19,20)\n"
                        "  Destination network: 0.0.0.0 (0x 00.00.00.00) [20,24)\n"
                        "  Destination node: ff:ff:ff:ff:ff:ff [24,30)\n"
                        "  Destination socket: 1107 (0x0453) - RIP [30,32)\n"
                        "  Source network: 168.248.121.103 (0x a8.f8.79.67) [32,36)\n"
                        "  Source node: 00:03:47:1b:c1:a8 [36,42)\n"
                        "  Source socket: 1107 (0x0453) - RIP [42,44)\n");
  EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{14, 44}));
  EXPECT_EQ(scripts.offers, (std::vector<std::string>{"ipx@44"}));

  const SummaryDecode s = DecodeSummaryOf(frame);
  EXPECT_EQ(s.row.ProtocolsText(), "IPX ");
  EXPECT_EQ(s.sink.protocols, (std::vector<std::string>{"Ethernet II/1", "IPX/2"}));
}

TEST(Ipx, PacketTypeAndSocketSuffixes) {
  struct Case {
    std::uint8_t type;
    std::uint16_t socket;
    const char* typeLine;
    const char* socketLine;
  };
  const Case cases[] = {
      {0, 0x0452, "Packet type: 0 (0x00) - Unknown", "Destination socket: 1106 (0x0452) - SAP"},
      {5, 0x0001, "Packet type: 5 (0x05) - SPX", "Destination socket: 1 (0x0001) - RIP"},
      {17, 0x0451, "Packet type: 17 (0x11) - NCP", "Destination socket: 1105 (0x0451) - NCP"},
      {6, 0x0bb9, "Packet type: 6 (0x06) - Experimental protocols",
       "Destination socket: 3001 (0x0bb9) - Dynamically Assigned"},
      {255, 0x9093, "Packet type: 255 (0xff) - Experimental protocols",
       "Destination socket: 37011 (0x9093) - IPXF (IPX Fragmentation protocol)"},
      {4, 0x0454, "Packet type: 4 (0x04) - PEP", "Destination socket: 1108 (0x0454) [30,32)"},
      {20, 0x4008, "Packet type: 20 (0x14) - Experimental protocols", "Destination socket: 16392 (0x4008) [30,32)"},
  };
  for (const Case& c : cases) {
    const Bytes frame =
        FrameBuilder().Ethernet(kDst, kSrc, 0x8137).Raw(IpxHeader(30, c.type, c.socket, 0x0457)).PadTo(60).Build();
    const std::string text = DecodeTreeOf(frame).text;
    EXPECT_NE(text.find(c.typeLine), std::string::npos) << text;
    EXPECT_NE(text.find(c.socketLine), std::string::npos) << text;
    EXPECT_NE(text.find("  Source socket: 1111 (0x0457) - Serialization [42,44)\n"), std::string::npos) << text;
  }
}

TEST(Ipx, NetbiosSocketWithLength80IsANamePacket) {
  const Bytes frame = NbipxNameFrame();
  RecordingScripts scripts;
  const TreeDecode t = DecodeTreeOf(frame, &scripts);
  EXPECT_EQ(t.text, std::string(kEthernetLines) +
                        "IPX [14,44)\n"
                        "  Checksum: 65535 (0xffff) [14,16)\n"
                        "  Length: 80 (0x0050) [16,18)\n"
                        "  Transport control: 0 (0x00) [18,19)\n"
                        "  Packet type: 20 (0x14) - Experimental protocols [19,20)\n"
                        "  Destination network: 0.0.0.0 (0x 00.00.00.00) [20,24)\n"
                        "  Destination node: ff:ff:ff:ff:ff:ff [24,30)\n"
                        "  Destination socket: 1109 (0x0455) - NetBios [30,32)\n"
                        "  Source network: 168.248.121.103 (0x a8.f8.79.67) [32,36)\n"
                        "  Source node: 00:13:20:61:83:a3 [36,42)\n"
                        "  Source socket: 1109 (0x0455) - NetBios [42,44)\n"
                        "NBIPX [44,94)\n"
                        "  Networks [44,76)\n"
                        "    Network 1: 1.2.3.4 [44,48)\n"
                        "    Network 2: 5.6.7.8 [48,52)\n"
                        "    Network 3: 9.10.11.12 [52,56)\n"
                        "    Network 4: 13.14.15.16 [56,60)\n"
                        "    Network 5: 17.18.19.20 [60,64)\n"
                        "    Network 6: 21.22.23.24 [64,68)\n"
                        "    Network 7: 25.26.27.28 [68,72)\n"
                        "    Network 8: 29.30.31.32 [72,76)\n"
                        "  Name type: 0xAB [76,77)\n"
                        "  DS type 2: 0x02 [77,78)\n"
                        "  Name: ADMINTEST [78,94)\n");
  EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{14, 44, 94}));
  EXPECT_EQ(scripts.offers, (std::vector<std::string>{"nbipx@94"}));

  const SummaryDecode s = DecodeSummaryOf(frame);
  EXPECT_EQ(s.row.ProtocolsText(), "IPX NBIPX ");
  EXPECT_EQ(s.sink.protocols, (std::vector<std::string>{"Ethernet II/1", "IPX/2", "NBIPX/4"}));
}

TEST(Ipx, ConnectionHeaderCarryingSmb) {
  const Bytes frame = NbipxSmbFrame();
  RecordingScripts scripts;
  const TreeDecode t = DecodeTreeOf(frame, &scripts);
  const std::string::size_type nbipx = t.text.find("NBIPX [44,62)\n");
  ASSERT_NE(nbipx, std::string::npos) << t.text;
  EXPECT_EQ(t.text.substr(nbipx),
            "NBIPX [44,62)\n"
            "  Connection control flag: 0x10 [44,45)\n"
            "  Data stream type: 0x04 [45,46)\n"
            "  Source connection id: 513 (0x0201) [46,48)\n"
            "  Destination connection id: 4660 (0x1234) [48,50)\n"
            "  Send sequence number: 5 (0x0005) [50,52)\n"
            "  Total data length: 291 (0x123) [52,54)\n"
            "  Offset: 0 (0x0000) [54,56)\n"
            "  Data length: 255 (0x00ff) [56,58)\n"
            "  Recieve sequence number: 256 (0x0100) [58,60)\n"
            "  Bytes recieved: 2 (0x0002) [60,62)\n"
            "SMB [62,97)\n"
            "  Deliminator: 255 (0xff) [62,63)\n"
            "  ID: 0x534d42 [63,66)\n"
            "  Command: 37 (0x25) - SMBtrans [66,67)\n"
            "  Error Class: 1 (0x01) [67,68)\n"
            "  Reserved [68,69)\n"
            "  Error Code: 2 (0x0002) [69,71)\n"
            "  Flags: 24 (0x18) [71,72)\n"
            "  Flags2: 51203 (0xc803) [72,74)\n"
            "  Reserved [74,86)\n"
            "  Tree ID: 1 (0x0001) [86,88)\n"
            "  Process ID: 65534 (0xfffe) [88,90)\n"
            "  Unauthenticated User ID: 2048 (0x0800) [90,92)\n"
            "  Multiplex ID: 7 (0x0007) [92,94)\n"
            "  16-bit field count: 0 (0x00) [94,95)\n"
            "  Parameter Words [95,95)\n"
            "  8-bit field count: 0 (0x0000) [95,97)\n"
            "  Buffer [97,97)\n");
  EXPECT_NE(t.text.find("  Length: 83 (0x0053) [16,18)\n"), std::string::npos) << t.text;
  // SMB has no tail, and the layers before it each have a following line.
  EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{14, 44, 62}));
  EXPECT_TRUE(scripts.offers.empty());

  const SummaryDecode s = DecodeSummaryOf(frame);
  EXPECT_EQ(s.row.ProtocolsText(), "IPX NBIPX SMB ");
  EXPECT_EQ(s.sink.protocols, (std::vector<std::string>{"Ethernet II/1", "IPX/2", "NBIPX/4", "SMB/4"}));
}

TEST(Ipx, DispatchChoosesByDestinationSocketAndLength) {
  struct Case {
    std::uint16_t length;
    std::uint16_t dstSocket;
    std::uint16_t srcSocket;
    const char* protocols;
    const char* nbipxLine;  // null: no NBIPX layer
    const char* offer;
  };
  const Case cases[] = {
      {80, 0x0455, 0x0455, "IPX NBIPX ", "NBIPX [44,94)", "nbipx@94"},
      {79, 0x0455, 0x0455, "IPX NBIPX ", "NBIPX [44,62)", "nbipx@62"},
      {81, 0x0455, 0x0455, "IPX NBIPX ", "NBIPX [44,62)", "nbipx@62"},
      {0, 0x0455, 0x0455, "IPX NBIPX ", "NBIPX [44,62)", "nbipx@62"},
      // Only the destination socket counts.
      {80, 0x0452, 0x0455, "IPX ", nullptr, "ipx@44"},
      {80, 0x0453, 0x0453, "IPX ", nullptr, "ipx@44"},
  };
  for (const Case& c : cases) {
    const Bytes frame = FrameBuilder()
                            .Ethernet(kDst, kSrc, 0x8137)
                            .Raw(IpxHeader(c.length, 0x04, c.dstSocket, c.srcSocket))
                            .Zeros(50)
                            .Build();
    RecordingScripts scripts;
    const TreeDecode t = DecodeTreeOf(frame, &scripts);
    if (c.nbipxLine != nullptr) {
      EXPECT_NE(t.text.find(std::string("\n") + c.nbipxLine + "\n"), std::string::npos) << t.text;
    } else {
      EXPECT_EQ(t.text.find("NBIPX"), std::string::npos) << t.text;
    }
    EXPECT_EQ(scripts.offers, (std::vector<std::string>{c.offer})) << c.length << " " << c.dstSocket;
    EXPECT_EQ(DecodeSummaryOf(frame).row.ProtocolsText(), c.protocols) << c.length << " " << c.dstSocket;
  }
}

TEST(Nbipx, SmbNeedsTheSignatureAndOneByteAfterIt) {
  struct Case {
    const char* payload;  // after the connection header, to the end of the frame
    bool smb;
  };
  const Case cases[] = {
      {"ff534d42 00", true},
      {"ff534d42", false},  // 22 bytes from the connection header on
      {"ff534d", false},
      {"", false},
      {"fe534d42 00", false},
      {"ff534d43 00", false},
      {"ff736d62 00", false},  // the signature is case-sensitive
  };
  for (const Case& c : cases) {
    const Bytes frame = FrameBuilder()
                            .Ethernet(kDst, kSrc, 0x8137)
                            .Raw(IpxHeader(83, 0x04, 0x0455, 0x0455))
                            .Raw(Hex(kConnectionHeader))
                            .Raw(Hex(c.payload))
                            .Build();
    RecordingScripts scripts;
    const TreeDecode t = DecodeTreeOf(frame, &scripts);
    if (c.smb) {
      EXPECT_TRUE(scripts.offers.empty()) << c.payload;
      EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{14, 44, 62})) << c.payload;
      // Only the delimiter, the identifier and the command byte were captured.
      EXPECT_NE(t.text.find("SMB [62,67)\n"
                            "  Deliminator: 255 (0xff) [62,63)\n"
                            "  ID: 0x534d42 [63,66)\n"
                            "  Command: 0 (0x00) - SMBmkdir [66,67)\n"),
                std::string::npos)
          << t.text;
    } else {
      EXPECT_EQ(scripts.offers, (std::vector<std::string>{"nbipx@62"})) << c.payload;
      EXPECT_EQ(t.text.find("SMB"), std::string::npos) << t.text;
    }
    EXPECT_EQ(DecodeSummaryOf(frame).row.ProtocolsText(), c.smb ? "IPX NBIPX SMB " : "IPX NBIPX ") << c.payload;
  }
}

// Decodes every prefix of a frame in both modes from a heap copy of exactly
// that many bytes, so the sanitizer sees any read beyond them.
TEST(Ipx, EveryPrefixStaysWithinTheCapturedBytes) {
  struct Field {
    const char* line;
    std::size_t from;  // shortest prefix that holds all of the field's bytes
  };
  struct Case {
    Bytes frame;
    std::size_t nbipxFrom;  // shortest prefix with an NBIPX layer
    std::size_t smbFrom;    // shortest prefix with an SMB layer; 0: never
    std::vector<Field> fields;
  };
  const Case cases[] = {
      {NbipxSmbFrame(),
       45,
       44 + 23,
       {{"  Source socket:", 44}, {"  Bytes recieved:", 62}, {"  Multiplex ID:", 94}, {"  Buffer [97,97)", 97}}},
      {NbipxNameFrame(), 45, 0, {{"  Networks [44,76)", 76}, {"  Name: ADMINTEST [78,94)", 94}}},
  };
  for (const Case& c : cases) {
    for (std::size_t n = 0; n <= c.frame.size(); ++n) {
      const std::vector<std::uint8_t> prefix(c.frame.begin(), c.frame.begin() + static_cast<std::ptrdiff_t>(n));
      const TreeDecode t = DecodeTreeOf(prefix);
      EXPECT_TRUE(RangesWithin(t.tree, static_cast<std::uint32_t>(n))) << n << "\n" << t.text;
      for (std::int32_t start : t.layerStarts) EXPECT_LE(start, static_cast<std::int32_t>(n)) << n;
      for (const Field& f : c.fields) {
        EXPECT_EQ(t.text.find(f.line) != std::string::npos, n >= f.from) << n << " " << f.line;
      }
      EXPECT_EQ(t.text.find("\nNBIPX") != std::string::npos, n >= c.nbipxFrom) << n;

      std::string expected;
      if (n > 14) expected += "IPX ";
      if (n >= c.nbipxFrom) expected += "NBIPX ";
      if (c.smbFrom != 0 && n >= c.smbFrom) expected += "SMB ";
      EXPECT_EQ(DecodeSummaryOf(prefix).row.ProtocolsText(), expected) << n;
    }
  }
}

// --- real captures ---------------------------------------------------------

struct Capture {
  bool ok = false;
  std::vector<Bytes> frames;
};

// Reads the records of a little-endian libpcap savefile (the corpus's format).
Capture ReadSavefile(const std::string& name) {
  Capture out;
  const std::string path = std::string(QUORVANET_CORPUS_DIR) + "/" + name;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return out;
  auto le32 = [](const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
  };
  std::uint8_t header[24];
  if (std::fread(header, 1, sizeof header, f) == sizeof header &&
      (le32(header) == 0xa1b2c3d4u || le32(header) == 0xa1b23c4du)) {
    out.ok = true;
    std::uint8_t record[16];
    while (std::fread(record, 1, sizeof record, f) == sizeof record) {
      const std::uint32_t captured = le32(record + 8);
      if (captured > 262144) {
        out.ok = false;
        break;
      }
      Bytes frame(captured);
      if (std::fread(frame.data(), 1, captured, f) != captured) {
        out.ok = false;
        break;
      }
      out.frames.push_back(std::move(frame));
    }
  }
  std::fclose(f);
  return out;
}

TEST(IpxCorpus, WholeFilesDecodeWithinTheCapturedBytes) {
  for (const char* name : {"ipx.pcap", "ipx-invalid-length.pcap", "smb_print_trans-oobr1.pcap",
                           "smb_print_trans-oobr2.pcap", "smb_data_print-segv.pcap", "eapon1.pcap"}) {
    const Capture capture = ReadSavefile(name);
    if (!capture.ok) GTEST_SKIP() << "corpus file not readable: " << name;
    ASSERT_FALSE(capture.frames.empty()) << name;
    for (std::size_t i = 0; i < capture.frames.size(); ++i) {
      // An exact-size heap copy, so the sanitizer sees any over-read.
      const std::vector<std::uint8_t> frame(capture.frames[i]);
      const TreeDecode t = DecodeTreeOf(frame);
      EXPECT_TRUE(RangesWithin(t.tree, static_cast<std::uint32_t>(frame.size()))) << name << " #" << i;
      DecodeSummaryOf(frame);
    }
  }
}

// IEEE 802.3 + LLC 0xE0 frames: the IPX header begins at 17.
TEST(IpxCorpus, FieldsMatchTheFrameBytes) {
  const Capture ipx = ReadSavefile("ipx.pcap");
  if (!ipx.ok) GTEST_SKIP() << "corpus file not readable: ipx.pcap";
  ASSERT_GE(ipx.frames.size(), 5u);
  struct Case {
    std::size_t index;
    std::vector<const char*> lines;
    const char* protocols;
  };
  const Case cases[] = {
      // A name packet: "__MSBROWSE__" framed by its 0x01 0x02 and 0x02 0x01 bytes.
      {0,
       {"IPX [17,47)\n", "  Length: 80 (0x0050) [19,21)\n",
        "  Packet type: 20 (0x14) - Experimental protocols [22,23)\n",
        "  Destination socket: 1109 (0x0455) - NetBios [33,35)\n",
        "  Source network: 168.248.121.103 (0x a8.f8.79.67) [35,39)\n",
        "  Source node: 00:00:00:00:00:01 [39,45)\n", "NBIPX [47,97)\n", "    Network 8: 0.0.0.0 [75,79)\n",
        "  Name type: 0x00 [79,80)\n", "  DS type 2: 0x01 [80,81)\n",
        "  Name: \x01\x02__MSBROWSE__\x02\x01 [81,97)\n"},
       "LLC IPX NBIPX "},
      // A 162-byte NetBIOS broadcast: not 80 long, so read as a connection
      // header, which is not followed by the SMB signature.
      {3,
       {"  Length: 192 (0x00c0) [19,21)\n", "NBIPX [47,65)\n", "  Connection control flag: 0x00 [47,48)\n",
        "  Data stream type: 0x0b [48,49)\n", "  Source connection id: 17473 (0x4441) [49,51)\n"},
       "LLC IPX NBIPX "},
      {4,
       {"  Destination socket: 1107 (0x0453) - RIP [33,35)\n", "  Source node: 00:03:47:1b:c1:a8 [39,45)\n",
        "  Source socket: 1107 (0x0453) - RIP [45,47)\n"},
       "LLC IPX "},
  };
  for (const Case& c : cases) {
    const std::vector<std::uint8_t> frame(ipx.frames[c.index]);
    const std::string text = DecodeTreeOf(frame).text;
    for (const char* line : c.lines) EXPECT_NE(text.find(line), std::string::npos) << c.index << ": " << line << text;
    EXPECT_EQ(DecodeSummaryOf(frame).row.ProtocolsText(), c.protocols) << c.index;
  }

  // A length below the header's own 30 bytes is shown as it is; nothing
  // depends on it.
  const Capture invalid = ReadSavefile("ipx-invalid-length.pcap");
  if (!invalid.ok) GTEST_SKIP() << "corpus file not readable: ipx-invalid-length.pcap";
  ASSERT_EQ(invalid.frames.size(), 1u);
  const std::string text = DecodeTreeOf(invalid.frames[0]).text;
  for (const char* line :
       {"IPX [17,47)\n", "  Length: 29 (0x001d) [19,21)\n", "  Packet type: 17 (0x11) - NCP [22,23)\n",
        "  Destination socket: 16427 (0x402b) [33,35)\n", "  Source socket: 1105 (0x0451) - NCP [45,47)\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line << text;
  }
}

}  // namespace
}  // namespace qv
