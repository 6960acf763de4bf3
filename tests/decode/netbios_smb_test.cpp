#include "decode/netbios.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decode/smb.h"
#include "decode_helpers.h"

namespace qv {
namespace {

using namespace qv::testing;

const framegen::Mac kDst{0x03, 0x00, 0x00, 0x00, 0x00, 0x01};
const framegen::Mac kSrc{0x00, 0x1b, 0x21, 0x3a, 0x4f, 0x01};

// NetBIOS frames travel in LLC UI frames with DSAP and SSAP 0xF0; the
// NetBIOS header begins at 17.
Bytes NetbiosFrame(const Bytes& netbios) {
  return FrameBuilder().Ieee8023(kDst, kSrc).Llc(0xf0, 0xf0, 0x03).Raw(netbios).PadTo(60).Build();
}

// A 14-byte header: length, delimiter 0xEFFF, command, data1 5, data2 0x1234,
// correlators 0x5678 and 0x9ABC, session numbers 42 and 43.
Bytes ShortHeader(std::uint8_t command) {
  Bytes b = Hex("0e00 ffef");
  b.push_back(command);
  const Bytes rest = Hex("05 3412 7856 bc9a 2a 2b");
  b.insert(b.end(), rest.begin(), rest.end());
  return b;
}

// A 44-byte DATAGRAM header naming "CAF\xe9" (a Latin-1 e acute, then zeros)
// and "WORKGROUP" padded with blanks to the service byte 0x1D.
Bytes LongDatagramHeader() {
  Bytes b = Hex("2c00 ffef 08 00 0000 0100 0000");
  const Bytes names = Hex(
      "434146e9 00000000 00000000 00000000"
      "574f524b 47524f55 50202020 2020201d");
  b.insert(b.end(), names.begin(), names.end());
  return b;
}

Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// SMB with delimiter 0x00 instead of 0xFF (NetBIOS does not check it),
// command 0xFE, two parameter words and three data bytes.
const char* const kSmbWc2Bc3 =
    "00534d42 fe 00 00 0000 00 0000 000000000000000000000000 0000 0000 0000 0000 02 11112222 0300 aabbcc";

const char* const kIeee8023AndLlcLines =
    "IEEE 802.2 [0,14)\n"
    "  Destination MAC: 03:00:00:00:00:01 - Multicast [0,6)\n"
    "  Source MAC: 00:1B:21:3A:4F:01 [6,12)\n";

TEST(Netbios, ShortHeaderWithoutSmb) {
  // Command 0x0A (NAME_QUERY) has no name of its own here.
  const Bytes frame = NetbiosFrame(ShortHeader(0x0a));
  RecordingScripts scripts;
  const TreeDecode t = DecodeTreeOf(frame, &scripts);
  EXPECT_EQ(t.text, std::string(kIeee8023AndLlcLines) +
                        "  Length: 17 (0x11) [12,14)\n"
                        "LLC [14,17)\n"
                        "  DSAP: 0xf0 (NetBIOS) - Individual DSAP [14,15)\n"
                        "  SSAP: 0xf0 (NetBIOS) - Command [15,16)\n"
                        "  Control: 0x03 - Unnumberd Information [16,17)\n"
                        "NetBIOS [17,31)\n"
                        "  Length: 14 (0x0e) [17,19)\n"
                        "  Deliminator: 61439 (0xefff) [19,21)\n"
                        "  Command: 10 (0x0a) [21,22)\n"
                        "  Data1: 5 (0x05) [22,23)\n"
                        "  Data2: 4660 (0x1234) [23,25)\n"
                        "  Transmit Correlator: 22136 (0x5678) [25,27)\n"
                        "  Response Correlator: 39612 (0x9abc) [27,29)\n"
                        "  Destination number: 42 (0x2a) [29,30)\n"
                        "  Source number: 43 (0x2b) [30,31)\n");
  EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{14, 17, 31}));
  EXPECT_EQ(scripts.offers, (std::vector<std::string>{"netbios@31"}));

  const SummaryDecode s = DecodeSummaryOf(frame);
  EXPECT_EQ(s.row.ProtocolsText(), "LLC NetBIOS ");
  EXPECT_EQ(s.sink.protocols, (std::vector<std::string>{"IEEE 802.2/1", "LLC/1", "NetBIOS/4"}));
}

TEST(Netbios, LongDatagramHandsTheBytesAfterItToSmbUnchecked) {
  const Bytes frame = NetbiosFrame(Concat(LongDatagramHeader(), Hex(kSmbWc2Bc3)));
  RecordingScripts scripts;
  const TreeDecode t = DecodeTreeOf(frame, &scripts);
  const std::string::size_type netbios = t.text.find("NetBIOS [17,61)\n");
  ASSERT_NE(netbios, std::string::npos) << t.text;
  EXPECT_EQ(t.text.substr(netbios),
            "NetBIOS [17,61)\n"
            "  Length: 44 (0x2c) [17,19)\n"
            "  Deliminator: 61439 (0xefff) [19,21)\n"
            "  Command: 8 (0x08) - DATAGRAM [21,22)\n"
            "  Data1: 0 (0x00) [22,23)\n"
            "  Data2: 0 (0x0000) [23,25)\n"
            "  Transmit Correlator: 1 (0x0001) [25,27)\n"
            "  Response Correlator: 0 (0x0000) [27,29)\n"
            "  Destination Name: CAF\xc3\xa9 [29,45)\n"
            "  Source Name: WORKGROUP      \x1d [45,61)\n"
            "SMB [61,103)\n"
            "  Deliminator: 0 (0x00) [61,62)\n"
            "  ID: 0x534d42 [62,65)\n"
            "  Command: 254 (0xfe) - SMBinvalid [65,66)\n"
            "  Error Class: 0 (0x00) [66,67)\n"
            "  Reserved [67,68)\n"
            "  Error Code: 0 (0x0000) [68,70)\n"
            "  Flags: 0 (0x00) [70,71)\n"
            "  Flags2: 0 (0x0000) [71,73)\n"
            "  Reserved [73,85)\n"
            "  Tree ID: 0 (0x0000) [85,87)\n"
            "  Process ID: 0 (0x0000) [87,89)\n"
            "  Unauthenticated User ID: 0 (0x0000) [89,91)\n"
            "  Multiplex ID: 0 (0x0000) [91,93)\n"
            "  16-bit field count: 2 (0x02) [93,94)\n"
            "  Parameter Words [94,98)\n"
            "  8-bit field count: 3 (0x0003) [98,100)\n"
            "  Buffer [100,103)\n");
  // SMB has no tail; NetBIOS and LLC are followed by a layer line.
  EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{14, 17, 61}));
  EXPECT_TRUE(scripts.offers.empty());

  const SummaryDecode s = DecodeSummaryOf(frame);
  EXPECT_EQ(s.row.ProtocolsText(), "LLC NetBIOS SMB ");
  EXPECT_EQ(s.sink.protocols, (std::vector<std::string>{"IEEE 802.2/1", "LLC/1", "NetBIOS/4", "SMB/4"}));
}

TEST(Netbios, CommandsAndHeaderLengths) {
  struct Case {
    std::uint16_t length;
    std::uint8_t command;
    const char* commandLine;  // null: the line is not shown
    bool smbInTree;
    const char* protocols;
    std::vector<std::string> offers;
  };
  const Case cases[] = {
      {14, 0x08, "Command: 8 (0x08) - DATAGRAM [21,22)", true, "LLC NetBIOS SMB ", {}},
      {14, 0x09, "Command: 9 (0x09) - DATAGRAM_BROADCAST [21,22)", true, "LLC NetBIOS SMB ", {}},
      {14, 0x15, "Command: 21 (0x15) - DATA_FIRST_MIDDLE [21,22)", true, "LLC NetBIOS SMB ", {}},
      {14, 0x16, "Command: 22 (0x16) - DATA_ONLY_LAST [21,22)", true, "LLC NetBIOS SMB ", {}},
      {14, 0x13, "Command: 19 (0x13) - TERMINATE_LOCAL&REMOTE_TRACE [21,22)", false, "LLC NetBIOS ", {"netbios@31"}},
      {14, 0x1f, "Command: 31 (0x1f) - SESSION_ALIVE [21,22)", false, "LLC NetBIOS ", {"netbios@31"}},
      {14, 0x04, "Command: 4 (0x04) [21,22)", false, "LLC NetBIOS ", {"netbios@31"}},
      {44, 0x14, "Command: 20 (0x14) - DATA_ACK [21,22)", false, "LLC NetBIOS ", {"netbios@61"}},
      // Any other header length leaves an empty line in the tree; the
      // summary still follows a data-carrying command to SMB.
      {20, 0x08, nullptr, false, "LLC NetBIOS SMB ", {}},
      {20, 0x0a, nullptr, false, "LLC NetBIOS ", {}},
      {0, 0x16, nullptr, false, "LLC NetBIOS SMB ", {}},
  };
  for (const Case& c : cases) {
    Bytes netbios = ShortHeader(c.command);
    netbios[0] = static_cast<std::uint8_t>(c.length);
    netbios[1] = static_cast<std::uint8_t>(c.length >> 8);
    netbios.resize(44 + 35, 0x00);
    const Bytes frame = NetbiosFrame(netbios);
    RecordingScripts scripts;
    const TreeDecode t = DecodeTreeOf(frame, &scripts);
    if (c.commandLine != nullptr) {
      EXPECT_NE(t.text.find(c.commandLine), std::string::npos) << t.text;
    } else {
      EXPECT_NE(t.text.find("\nNetBIOS\n"), std::string::npos) << t.text;
      EXPECT_EQ(t.text.find("Command:"), std::string::npos) << t.text;
      EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{14, 17})) << c.length;
    }
    EXPECT_EQ(t.text.find("\nSMB") != std::string::npos, c.smbInTree) << t.text;
    if (c.smbInTree) {
      EXPECT_NE(t.text.find(c.length == 14 ? "SMB [31," : "SMB [61,"), std::string::npos) << t.text;
    }
    EXPECT_EQ(scripts.offers, c.offers) << c.length << " " << int{c.command};
    EXPECT_EQ(DecodeSummaryOf(frame).row.ProtocolsText(), c.protocols) << c.length << " " << int{c.command};
  }
}

TEST(Smb, CommandNamesAndCountsBeyondTheCapture) {
  struct Case {
    const char* smb;  // from the delimiter to the end of the frame
    std::vector<const char*> present;
    std::vector<const char*> absent;
  };
  const Case cases[] = {
      {"ff534d42 ff", {"SMB [31,36)\n", "  Command: 255 (0xff) [35,36)\n"}, {"Error Class"}},
      {"ff534d42 0e", {"  Command: 14 (0x0e) [35,36)\n"}, {}},
      {"ff534d42 75", {"  Command: 117 (0x75) - SMBtconX [35,36)\n"}, {}},
      {"ff534d42 d7", {"  Command: 215 (0xd7) - SMBsendtxt [35,36)\n"}, {}},
      // Error code bytes 0x02 0x00: least significant first.
      {"ff534d42 72 01 00 0200", {"  Command: 114 (0x72) - SMBnegprot [35,36)\n", "  Error Code: 2 (0x0002) [38,40)\n"},
       {"Flags"}},
      // A word count whose words run past the capture: neither the words nor
      // the byte count are shown, and the layer stops at the captured data.
      {"ff534d42 25 00 00 0000 00 0000 000000000000000000000000 0000 0000 0000 0000 ff 0102",
       {"SMB [31,66)\n", "  16-bit field count: 255 (0xff) [63,64)\n"},
       {"Parameter Words", "8-bit field count"}},
      // A byte count beyond the capture: no Buffer line.
      {"ff534d42 25 00 00 0000 00 0000 000000000000000000000000 0000 0000 0000 0000 00 ffff 0102",
       {"SMB [31,68)\n", "  Parameter Words [64,64)\n", "  8-bit field count: 65535 (0xffff) [64,66)\n"},
       {"Buffer"}},
  };
  for (const Case& c : cases) {
    const Bytes frame =
        FrameBuilder().Ieee8023(kDst, kSrc).Llc(0xf0, 0xf0, 0x03).Raw(ShortHeader(0x16)).Raw(Hex(c.smb)).Build();
    const TreeDecode t = DecodeTreeOf(frame);
    for (const char* line : c.present) EXPECT_NE(t.text.find(line), std::string::npos) << line << "\n" << t.text;
    for (const char* line : c.absent) EXPECT_EQ(t.text.find(line), std::string::npos) << line << "\n" << t.text;
    EXPECT_TRUE(RangesWithin(t.tree, static_cast<std::uint32_t>(frame.size()))) << t.text;
  }
}

// Decodes every prefix of a frame in both modes from a heap copy of exactly
// that many bytes, so the sanitizer sees any read beyond them.
TEST(Netbios, EveryPrefixStaysWithinTheCapturedBytes) {
  struct Field {
    const char* line;
    std::size_t from;  // shortest prefix that holds all of the field's bytes
  };
  const Field fields[] = {
      {"  Length: 44 (0x2c) [17,19)", 19},   {"  Command: 8 (0x08) - DATAGRAM", 22},
      {"  Source Name: WORKGROUP", 61},      {"  16-bit field count: 2", 94},
      {"  Parameter Words [94,98)", 98},      {"  Buffer [100,103)", 103},
  };
  const Bytes full = NetbiosFrame(Concat(LongDatagramHeader(), Hex(kSmbWc2Bc3)));
  ASSERT_EQ(full.size(), 103u);
  for (std::size_t n = 0; n <= full.size(); ++n) {
    const std::vector<std::uint8_t> prefix(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
    const TreeDecode t = DecodeTreeOf(prefix);
    EXPECT_TRUE(RangesWithin(t.tree, static_cast<std::uint32_t>(n))) << n << "\n" << t.text;
    for (std::int32_t start : t.layerStarts) EXPECT_LE(start, static_cast<std::int32_t>(n)) << n;
    for (const Field& f : fields) {
      EXPECT_EQ(t.text.find(f.line) != std::string::npos, n >= f.from) << n << " " << f.line;
    }
    // Without its length the header is not understood, so the line stays empty.
    EXPECT_EQ(t.text.find("\nNetBIOS\n") != std::string::npos, n == 18) << n << "\n" << t.text;

    std::string expected;
    if (n > 14) expected += "LLC ";
    if (n > 17) expected += "NetBIOS ";
    if (n > 61) expected += "SMB ";
    EXPECT_EQ(DecodeSummaryOf(prefix).row.ProtocolsText(), expected) << n;
  }
}

}  // namespace
}  // namespace qv
