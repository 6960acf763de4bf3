#include "decode/llc.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "decode/snap.h"
#include "decode_helpers.h"

namespace qv {
namespace {

using namespace qv::testing;

const framegen::Mac kDst{0x00, 0xa0, 0xc9, 0x14, 0xc8, 0x29};
const framegen::Mac kSrc{0x00, 0x1b, 0x21, 0x3a, 0x4f, 0x01};

const char* const kIeee8023Lines =
    "IEEE 802.2 [0,14)\n"
    "  Destination MAC: 00:A0:C9:14:C8:29 [0,6)\n"
    "  Source MAC: 00:1B:21:3A:4F:01 [6,12)\n";

// The field lines of every layer as "text [start,end)".
std::vector<std::string> FieldLines(const DecodeTree& tree) {
  std::vector<std::string> out;
  for (NodeId layer : tree.TopLevel()) {
    for (NodeId line : tree.Children(layer)) {
      out.push_back(tree[line].text + " [" + std::to_string(tree[line].start) + "," + std::to_string(tree[line].end) +
                    ")");
    }
  }
  return out;
}

TEST(Llc, LengthField1500IsIeee8023And1501IsEthernetII) {
  // 1500 is still a length: the frame continues in LLC (OSI SAP, not decoded).
  const Bytes ieee = FrameBuilder().Ethernet(kDst, kSrc, 1500).Llc(0xfe, 0xfe, 0x03).Zeros(43).Build();
  RecordingScripts scripts;
  const TreeDecode t = DecodeTreeOf(ieee, &scripts);
  EXPECT_EQ(t.text, std::string(kIeee8023Lines) +
                        "  Length: 1500 (0x5DC) [12,14)\n"
                        "LLC [14,17)\n"
                        "  DSAP: 0xfe - Individual DSAP [14,15)\n"
                        "  SSAP: 0xfe - Command [15,16)\n"
                        "  Control: 0x03 - Unnumberd Information [16,17)\n");
  EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{14, 17}));
  // The LLC line always follows, so the "eth" scripts are never asked.
  EXPECT_EQ(scripts.offers, (std::vector<std::string>{"llc@17"}));

  const Bytes ethernet = FrameBuilder().Ethernet(kDst, kSrc, 1501).Llc(0xfe, 0xfe, 0x03).Zeros(43).Build();
  const TreeDecode e = DecodeTreeOf(ethernet);
  EXPECT_EQ(e.text,
            "Ethernet II [0,14)\n"
            "  Destination MAC: 00:A0:C9:14:C8:29 [0,6)\n"
            "  Source MAC: 00:1B:21:3A:4F:01 [6,12)\n"
            "  Type: 0x05dd [12,14)\n");
  EXPECT_EQ(e.layerStarts, (std::vector<std::int32_t>{14, 14}));

  EXPECT_EQ(DecodeSummaryOf(ieee).sink.protocols, (std::vector<std::string>{"IEEE 802.2/1", "LLC/1"}));
  EXPECT_EQ(DecodeSummaryOf(ieee).row.ProtocolsText(), "LLC ");
  EXPECT_EQ(DecodeSummaryOf(ethernet).sink.protocols, (std::vector<std::string>{"Ethernet II/1"}));
}

TEST(Snap, UndecodedEtherTypeGoesToSnapScripts) {
  const Bytes frame =
      FrameBuilder().Ieee8023(kDst, kSrc).Llc(0xaa, 0xaa, 0x03).Snap(0x000000, 0x0800).Zeros(20).PadTo(60).Build();
  RecordingScripts scripts;
  const TreeDecode t = DecodeTreeOf(frame, &scripts);
  EXPECT_EQ(t.text, std::string(kIeee8023Lines) +
                        "  Length: 28 (0x1C) [12,14)\n"
                        "LLC [14,17)\n"
                        "  DSAP: 0xaa (IEEE SNAP) - Individual DSAP [14,15)\n"
                        "  SSAP: 0xaa (IEEE SNAP) - Command [15,16)\n"
                        "  Control: 0x03 - Unnumberd Information [16,17)\n"
                        "IEEE SNAP [17,22)\n"
                        "  Organization code 0x000000 [17,20)\n"
                        "  EtherType: 0x0800 [20,22)\n");
  // LLC at 14, SNAP at 17, the unclaimed payload at 22.
  EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{14, 17, 22}));
  EXPECT_EQ(scripts.offers, (std::vector<std::string>{"snap@22"}));

  const SummaryDecode s = DecodeSummaryOf(frame);
  EXPECT_EQ(s.row.ProtocolsText(), "LLC SNAP ");
  EXPECT_EQ(s.sink.protocols, (std::vector<std::string>{"IEEE 802.2/1", "LLC/1", "SNAP/1"}));
}

TEST(Snap, IpxEtherTypeIsFollowedWhateverTheOrganization) {
  const Bytes frame =
      FrameBuilder().Ieee8023(kDst, kSrc).Llc(0xaa, 0xaa, 0x03).Snap(0x00000c, 0x8137).Zeros(30).Build();
  RecordingScripts scripts;
  const TreeDecode t = DecodeTreeOf(frame, &scripts);
  EXPECT_NE(t.text.find("IEEE SNAP [17,22)\n"
                        "  Organization code 0x00000c [17,20)\n"
                        "  EtherType: 0x8137 - IPX [20,22)\n"),
            std::string::npos)
      << t.text;
  ASSERT_GE(t.layerStarts.size(), 3u);
  EXPECT_EQ(t.layerStarts[2], 22);  // where the IPX header begins
  for (const std::string& offer : scripts.offers) EXPECT_NE(offer, "snap@22");

  const SummaryDecode s = DecodeSummaryOf(frame);
  ASSERT_GE(s.sink.protocols.size(), 4u);
  EXPECT_EQ(s.sink.protocols[2], "SNAP/1");
  EXPECT_EQ(s.sink.protocols[3], "IPX/2");
  EXPECT_EQ(s.row.ProtocolsText().rfind("LLC SNAP IPX ", 0), 0u) << s.row.ProtocolsText();
}

TEST(Llc, InformationFormatMovesThePayloadOneByteButNotTheLine) {
  // N(S) and N(R) are shown as their bytes with the low bit cleared, not shifted.
  const Bytes frame = FrameBuilder()
                          .Ieee8023(kDst, kSrc)
                          .Llc(0xaa, 0xab, 0x0a)
                          .Raw(Hex("15"))
                          .Snap(0x000000, 0x88cc)
                          .Zeros(20)
                          .Build();
  RecordingScripts scripts;
  const TreeDecode t = DecodeTreeOf(frame, &scripts);
  EXPECT_EQ(t.text, std::string(kIeee8023Lines) +
                        "  Length: 29 (0x1D) [12,14)\n"
                        "LLC [14,17)\n"
                        "  DSAP: 0xaa (IEEE SNAP) - Individual DSAP [14,15)\n"
                        "  SSAP: 0xab - Response [15,16)\n"
                        "  Transmit send sequence number 10 (0x0A) [16,17)\n"
                        "  Transmit receive sequence number 20 (0x14) [17,18)\n"
                        "IEEE SNAP [18,23)\n"
                        "  Organization code 0x000000 [18,21)\n"
                        "  EtherType: 0x88cc [21,23)\n");
  EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{14, 18, 23}));
  EXPECT_EQ(scripts.offers, (std::vector<std::string>{"snap@23"}));
}

TEST(Llc, ControlField) {
  struct Case {
    const char* control;  // one or two bytes
    const char* lines;    // the control lines of the LLC layer
  };
  const Case cases[] = {
      {"03", "  Control: 0x03 - Unnumberd Information [16,17)\n"},
      {"13", "  Control: 0x13 - Unnumberd Information [16,17)\n"},  // poll bit ignored
      {"1f", "  Control: 0x1F - Disconnected Mode [16,17)\n"},
      {"53", "  Control: 0x53 - Disconnect [16,17)\n"},
      {"73", "  Control: 0x73 - Unnumbered Acknowledgement [16,17)\n"},
      {"6f", "  Control: 0x6F - Set Asynch. Balanced Mode Extended [16,17)\n"},
      {"87", "  Control: 0x87 - Frame Reject [16,17)\n"},
      {"bf", "  Control: 0xBF - Exchange Identification [16,17)\n"},
      {"e3", "  Control: 0xE3 - Test [16,17)\n"},
      {"23", "  Control: 0x23 [16,17)\n"},
      {"fe ff",
       "  Transmit send sequence number 254 (0xFE) [16,17)\n"
       "  Transmit receive sequence number 254 (0xFE) [17,18)\n"},
      {"01 07", "  ----00--:Receive Ready [16,17)\n"},
      {"05 07", "  ----10--:Receive Not Ready [16,17)\n"},
      {"09 07", "  ----01--:Reject [16,17)\n"},
      {"0d 07", "  Transmit receive sequence number 6 (0x06) [16,17)\n"},
  };
  for (const Case& c : cases) {
    const Bytes control = Hex(c.control);
    const Bytes frame =
        FrameBuilder().Ieee8023(kDst, kSrc).Llc(0x04, 0x05, control[0]).Raw(Bytes(control.begin() + 1, control.end()))
            .Zeros(40).Build();
    const TreeDecode t = DecodeTreeOf(frame);
    const std::string expected = std::string("LLC [14,17)\n"
                                             "  DSAP: 0x04 - Individual DSAP [14,15)\n"
                                             "  SSAP: 0x05 - Response [15,16)\n") +
                                 c.lines;
    EXPECT_NE(t.text.find(expected), std::string::npos) << c.control << "\n" << t.text;
    EXPECT_EQ(t.text.substr(t.text.size() - std::string(c.lines).size()), c.lines) << c.control;
    // The unclaimed data is marked after the 3 bytes the LLC line covers.
    EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{14, 17})) << c.control;
  }
}

TEST(Llc, SapLabelsAndDispatch) {
  struct Case {
    std::uint8_t dsap;
    std::uint8_t ssap;
    const char* dsapLine;
    const char* ssapLine;
    const char* inner;  // what the DSAP's decoder counts; null: nothing dispatched
  };
  const Case cases[] = {
      {0x06, 0x06, "DSAP: 0x06 (IPv4) - Individual DSAP", "SSAP: 0x06 (IPv4) - Command", "IPv4/2"},
      {0x42, 0x42, "DSAP: 0x42 (BPDU) - Individual DSAP", "SSAP: 0x42 (BPDU) - Command", "BPDU/1"},
      {0x7e, 0x7e, "DSAP: 0x7e (X.25 PLP) - Individual DSAP", "SSAP: 0x7e (X.25 PLP) - Command", "X25PLP/4"},
      {0x80, 0x80, "DSAP: 0x80 (XNS) - Individual DSAP", "SSAP: 0x80 (XNS) - Command", "XNS/2"},
      {0xaa, 0xaa, "DSAP: 0xaa (IEEE SNAP) - Individual DSAP", "SSAP: 0xaa (IEEE SNAP) - Command", "SNAP/1"},
      {0xe0, 0xe0, "DSAP: 0xe0 (Netware IPX) - Individual DSAP", "SSAP: 0xe0 (Netware IPX) - Command", "IPX/2"},
      {0xf0, 0xf0, "DSAP: 0xf0 (NetBIOS) - Individual DSAP", "SSAP: 0xf0 (NetBIOS) - Command", "NetBIOS/4"},
      // The SSAP names only itself; the DSAP alone chooses the decoder, by its exact value.
      {0x04, 0x42, "DSAP: 0x04 - Individual DSAP", "SSAP: 0x42 (BPDU) - Command", nullptr},
      {0x43, 0x43, "DSAP: 0x43 - Group DSAP", "SSAP: 0x43 - Response", nullptr},
      {0xff, 0xe1, "DSAP: 0xff - Group DSAP", "SSAP: 0xe1 - Response", nullptr},
  };
  // A well-formed IPv4 header as the payload, so that every inner decoder
  // has something plausible to read.
  const Bytes payload = FrameBuilder().Ipv4({10, 0, 0, 1}, {10, 0, 0, 2}, 0xfd).Zeros(20).Build();
  for (const Case& c : cases) {
    const Bytes frame = FrameBuilder().Ieee8023(kDst, kSrc).Llc(c.dsap, c.ssap, 0x03).Raw(payload).Build();
    const TreeDecode t = DecodeTreeOf(frame);
    const std::string lines = std::string("LLC [14,17)\n  ") + c.dsapLine + " [14,15)\n  " + c.ssapLine + " [15,16)\n";
    EXPECT_NE(t.text.find(lines), std::string::npos) << t.text;
    ASSERT_GE(t.layerStarts.size(), 2u);
    // Either the inner layer or the unsupported mark begins right after the LLC header.
    EXPECT_EQ(t.layerStarts[1], 17) << c.dsapLine;
    const std::size_t topLevel = t.tree.TopLevel().size();
    EXPECT_EQ(topLevel > 2, c.inner != nullptr) << c.dsapLine;

    const SummaryDecode s = DecodeSummaryOf(frame);
    ASSERT_GE(s.sink.protocols.size(), 2u);
    EXPECT_EQ(s.sink.protocols[1], "LLC/1");
    if (c.inner != nullptr) {
      ASSERT_GE(s.sink.protocols.size(), 3u) << c.dsapLine;
      EXPECT_EQ(s.sink.protocols[2], c.inner) << c.dsapLine;
    } else {
      EXPECT_EQ(s.sink.protocols.size(), 2u) << c.dsapLine;
    }
  }
}

TEST(Llc, X25AndXnsAreBareLayerLines) {
  struct Case {
    std::uint8_t sap;
    const char* line;
    const char* counted;
    const char* row;
  };
  const Case cases[] = {
      {0x7e, "X.25 PLP\n", "X25PLP/4", "LLC X25PLP "},
      {0x80, "XNS\n", "XNS/2", "LLC XNS "},
  };
  for (const Case& c : cases) {
    const Bytes frame = FrameBuilder().Ieee8023(kDst, kSrc).Llc(c.sap, c.sap, 0x03).Zeros(43).Build();
    RecordingScripts scripts;
    const TreeDecode t = DecodeTreeOf(frame, &scripts);
    // The last line: no range, no children, no unsupported mark after it.
    EXPECT_EQ(t.text.substr(t.text.size() - std::string(c.line).size()), c.line) << t.text;
    EXPECT_EQ(t.tree.TopLevel().size(), 3u);
    EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{14, 17})) << c.line;
    EXPECT_TRUE(scripts.offers.empty());

    const SummaryDecode s = DecodeSummaryOf(frame);
    EXPECT_EQ(s.sink.protocols, (std::vector<std::string>{"IEEE 802.2/1", "LLC/1", c.counted}));
    EXPECT_EQ(s.row.ProtocolsText(), c.row);
  }
}

TEST(Llc, EveryPrefixDecodesWithinTheCapturedBytes) {
  // Frames whose every layer is decoded here: LLC/SNAP with an undecoded
  // EtherType, an I-format LLC, and a supervisory frame whose N(R) is in the
  // second control byte.
  const Bytes frames[] = {
      FrameBuilder().Ieee8023(kDst, kSrc).Llc(0xaa, 0xaa, 0x03).Snap(0x000000, 0x0800).Zeros(4).Build(),
      FrameBuilder().Ieee8023(kDst, kSrc).Llc(0xaa, 0xaa, 0x00).Raw(Hex("02")).Snap(0x0000f8, 0x0806).Build(),
      FrameBuilder().Ieee8023(kDst, kSrc).Llc(0x7e, 0x7f, 0x0d).Raw(Hex("07")).Zeros(2).Build(),
  };
  for (const Bytes& full : frames) {
    const std::vector<std::string> complete = FieldLines(DecodeTreeOf(full).tree);
    std::size_t previous = 0;
    for (std::size_t n = 0; n <= full.size(); ++n) {
      const std::vector<std::uint8_t> prefix(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
      const TreeDecode t = DecodeTreeOf(prefix);
      EXPECT_TRUE(RangesWithin(t.tree, static_cast<std::uint32_t>(n))) << n;
      // A field line appears only once all of its bytes are captured, and
      // then exactly as in the whole frame (never clipped, never guessed).
      const std::vector<std::string> lines = FieldLines(t.tree);
      for (const std::string& line : lines) {
        EXPECT_NE(std::find(complete.begin(), complete.end(), line), complete.end()) << n << " " << line;
      }
      EXPECT_GE(lines.size(), previous) << n;
      previous = lines.size();
      const SummaryDecode s = DecodeSummaryOf(prefix);
      const std::string protocols = s.row.ProtocolsText();
      // LLC needs its first byte; the inner layer its first byte after the header.
      const std::size_t inner = full[16] == 0x03 ? 17 : 18;
      EXPECT_EQ(protocols.rfind("LLC ", 0) == 0, n > 14) << n << " " << protocols;
      EXPECT_EQ(protocols.size() > 4, n > inner) << n << " " << protocols;
    }
  }
}

}  // namespace
}  // namespace qv
