// Loaded scripts in the decode tree: matching, header lengths, field lines
// and their ranges, label conversions, stacking, and reads that stop at the
// captured bytes.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decode_helpers.h"
#include "temp_dir.h"
#include "scripts/script_applier.h"
#include "scripts/script_matching.h"
#include "scripts/script_registry.h"

namespace qv {
namespace {

using namespace qv::testing;

const framegen::Mac kDst{0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
const framegen::Mac kSrc{0x00, 0xa0, 0xc9, 0x14, 0xc8, 0x29};

// A UDP datagram to port 0x0107; its payload starts at offset 42.
Bytes UdpFrame(const Bytes& payload) {
  return FrameBuilder()
      .Ethernet(kDst, kSrc, 0x0800)
      .Ipv4({10, 0, 0, 1}, {10, 0, 0, 2}, 17)
      .Udp(0x0400, 0x0107)
      .Raw(payload)
      .Build();
}

// The tree from the first line after the UDP layer on.
std::string AfterUdp(const std::string& tree) {
  const auto udp = tree.find("UDP [");
  if (udp == std::string::npos) return "(no UDP)";
  auto next = tree.find('\n', udp);
  while (next != std::string::npos && next + 1 < tree.size() && tree[next + 1] == ' ') next = tree.find('\n', next + 1);
  return next == std::string::npos ? "" : tree.substr(next + 1);
}

class ScriptRendering : public ::testing::Test {
 protected:
  // Loads a script from its text; the file name tells scripts apart.
  std::string Load(const std::string& text) {
    const std::string path = folder_.Write("s" + std::to_string(++files_) + ".ssc", text);
    registry_.LoadScript(path);
    return path;
  }
  TreeDecode Decode(const Bytes& frame) { return DecodeTreeOf(frame, &applier_); }

  TempDir folder_;
  ScriptRegistry registry_;
  ScriptApplier applier_{registry_};
  int files_ = 0;
};

TEST_F(ScriptRendering, WorkedExampleGivesItsLayerAndFieldLines) {
  Load("udp\n2\np 2 = 1\nc 0 > 3\n&1 1\nDEMO\n"
       "single: 0 1 \"Version: %d\", 0 1\n"
       "condit: 2 4 256 \"Kind: request (%x)\", 2 2\n"
       "condit: 2 4 257 \"Kind: reply (%x)\", 2 2\n"
       "single: 4 8 \"Cookie: %X\", 4 4\n");
  Bytes payload = Hex("05 14 0100 deadbeef");
  payload.resize(24, 0xee);
  const TreeDecode t = Decode(UdpFrame(payload));
  EXPECT_EQ(AfterUdp(t.text),
            "DEMO [42,62)\n"
            "  Version: 5 [42,43)\n"
            "  Kind: request (0100) [44,46)\n"
            "  Cookie: DEADBEEF [46,50)\n");
  // The script layer starts after UDP; the 4 bytes after its 20-byte header
  // are nobody's.
  EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{14, 34, 42, 62}));

  // A payload that breaks a condition: no script line, the UDP tail marks it.
  payload[0] = 3;
  const TreeDecode none = Decode(UdpFrame(payload));
  EXPECT_EQ(AfterUdp(none.text), "");
  EXPECT_EQ(none.layerStarts, (std::vector<std::int32_t>{14, 34, 42}));
}

TEST_F(ScriptRendering, ConditionsOfEveryOperatorAndSide) {
  struct Case {
    const char* condition;
    bool matches;
  };
  // Parent (UDP header) byte 3 is 0x07; script byte 0 is 0x20.
  const Case cases[] = {
      {"p 3 = 7", true},  {"p 3 = 8", false},   {"P 3 ! 8", true},   {"p 3 ! 7", false},
      {"c 0 < 33", true}, {"c 0 < 32", false},  {"C 0 > 31", true},  {"c 0 > 32", false},
      {"c 0 = 288", false},                      // a byte never equals more than 255
      {"c 1 = 1", false},                        // the byte just past the captured data
      {"p 8 = 32", true},                        // a parent offset may reach into the payload
  };
  for (const Case& c : cases) {
    ScriptRegistry registry;
    registry.LoadScript(folder_.Write("c.ssc", std::string("udp\n1\n") + c.condition + "\n1\nX\n"));
    ScriptApplier applier(registry);
    const TreeDecode t = DecodeTreeOf(UdpFrame(Hex("20")), &applier);
    EXPECT_EQ(AfterUdp(t.text) == "X [42,43)\n", c.matches) << c.condition << "\n" << t.text;
  }
}

TEST_F(ScriptRendering, HeaderLengthByTheSizeRule) {
  struct Case {
    const char* rule;
    std::uint32_t length;
  };
  // Script start 2 in a 10-byte frame: 8 bytes remain.
  const Bytes frame = Hex("ffff 0014 0203 0405 0607");
  const Case cases[] = {
      {"12", 12},   {"", 0},       {"-5", 0},     {"FULL", 8},  {"full", 8},   {"&1 1", 0x14},
      {"& 0 2", 0x0014}, {"&0 3", 0}, {"&7 1", 7}, {"&8 1", 8},  {"&7 2", 8},  // missing bytes: the captured rest
      {"&-2 1", 0xff},                                                        // before the script start, in the frame
  };
  for (const Case& c : cases) {
    ProtocolScript script;
    script.sizeRule = c.rule;
    EXPECT_EQ(ScriptLength(script, frame.data(), 2, static_cast<std::uint32_t>(frame.size())), c.length) << c.rule;
  }
  ProtocolScript full;
  full.sizeRule = "FULL";
  EXPECT_EQ(ScriptLength(full, frame.data(), 10, 10), 0u);
}

TEST(ScriptLabels, ConversionsOfTheValue) {
  struct Case {
    const char* label;
    std::optional<LabelValue> value;
    const char* text;
  };
  const Case cases[] = {
      {"Port %d (%x)", LabelValue{80, 2}, "Port 80 (0050)"},
      {"A %d B %d", LabelValue{7, 1}, "A 7 B 7"},
      {"%x %X", LabelValue{0xab, 1}, "ab AB"},
      {"%x", LabelValue{0xab, 4}, "000000ab"},
      {"%X", LabelValue{0xabcd, 2}, "ABCD"},
      {"%d %u", LabelValue{0xffffffff, 4}, "-1 4294967295"},
      {"%d", LabelValue{0xffff, 2}, "65535"},
      {"%c%c", LabelValue{0x4142, 2}, "BB"},
      {"[%c]", LabelValue{0x00, 1}, "[]"},
      {"%c", LabelValue{0xe9, 1}, "\xc3\xa9"},  // Latin-1 into the tree's UTF-8
      {"%04x", LabelValue{0x1234, 2}, "4x"},  // "%0" is the token; padding comes from the width
      {"100%", LabelValue{1, 1}, "100%"},
      {"%% done", LabelValue{1, 1}, "%% done"},
      {"%%d", LabelValue{1, 1}, "%%d"},
      {"a%sb", LabelValue{1, 1}, "ab"},
      {"v=%d", LabelValue{1, 3}, "v="},  // no such width
      {"v=%d", std::nullopt, "v="},       // no value group
      {"plain", std::nullopt, "plain"},
  };
  for (const Case& c : cases) EXPECT_EQ(RenderLabel(c.label, c.value), c.text) << c.label;
}

TEST_F(ScriptRendering, ConditionalFieldsCompareByTheirWidth) {
  Load("udp\n0\nFULL\nF\n"
       "condit: 0 1 511 \"byte, low 8 bits of the match\"\n"
       "condit: 0 1 1 \"byte, no\"\n"
       "condit: 0 2 130818 \"16 bits, low 16 bits of the match\"\n"
       "condit: 0 2 0 \"16 bits, no\"\n"
       "condit: 0 4 -16645888 \"32 bits, the whole match\"\n"
       "condit: 0 4 65535 \"32 bits, no\"\n"
       "condit: 0 3 0 \"three bytes: not tested\"\n"
       "condit: 4 5 0 \"beyond the frame\"\n");
  const TreeDecode t = Decode(UdpFrame(Hex("ff02 0100")));  // 0xff020100 = -16645888
  EXPECT_EQ(AfterUdp(t.text),
            "F [42,46)\n"
            "  byte, low 8 bits of the match [42,43)\n"
            "  16 bits, low 16 bits of the match [42,44)\n"
            "  32 bits, the whole match [42,46)\n"
            "  three bytes: not tested [42,45)\n");
}

TEST_F(ScriptRendering, FieldsWhoseBytesWereNotCapturedGiveNoLine) {
  Load("udp\n0\n&1 1\nT\n"
       "single: 0 2 \"in: %x\", 0 2\n"
       "single: 2 3 \"field past the end\"\n"
       "single: 0 1 \"value past the end %x\", 1 2\n"
       "single: -43 0 \"before the frame\"\n"
       "single: 0 1 \"odd width shows no value: %x\", 0 3\n");
  // Two payload bytes: the length byte is there, its 0x20 bytes are not.
  const TreeDecode t = Decode(UdpFrame(Hex("0120")));
  EXPECT_EQ(AfterUdp(t.text),
            "T [42,44)\n"
            "  in: 0120 [42,44)\n"
            "  odd width shows no value:  [42,43)\n");
  EXPECT_TRUE(testing::RangesWithin(t.tree, 44));
  EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{14, 34, 42, 44}));
}

TEST_F(ScriptRendering, LaterLoadedWinsAndDisabledScriptsAreSkipped) {
  const std::string older = Load("udp\n0\n2\nOLDER\n");
  const std::string newer = Load("udp\n0\n2\nNEWER\n");
  const Bytes frame = UdpFrame(Hex("0102 0304"));
  EXPECT_EQ(AfterUdp(Decode(frame).text), "NEWER [42,44)\n");
  registry_.SetScriptEnabled(newer, false);
  EXPECT_EQ(AfterUdp(Decode(frame).text), "OLDER [42,44)\n");
  registry_.SetScriptEnabled(older, false);
  const TreeDecode none = Decode(frame);
  EXPECT_EQ(AfterUdp(none.text), "");
  EXPECT_EQ(none.layerStarts, (std::vector<std::int32_t>{14, 34, 42}));
  registry_.SetScriptEnabled(newer, true);
  EXPECT_EQ(AfterUdp(Decode(frame).text), "NEWER [42,44)\n");
}

TEST_F(ScriptRendering, ScriptsStackUnderEachOthersNames) {
  Load("udp\n1\nc 0 = 1\n&1 1\nA\nsingle: 0 1 \"a0\", 0 1\n");
  // B: p from A's first byte, c from the end of A's header.
  Load("a\n2\np 0 = 1\nc 0 = 66\n2\nB\nsingle: 0 2 \"b %x\", 0 2\n");
  const TreeDecode t = Decode(UdpFrame(Hex("01 04 aaaa 4243 cc")));
  EXPECT_EQ(AfterUdp(t.text),
            "A [42,46)\n"
            "  a0 [42,43)\n"
            "B [46,48)\n"
            "  b 4243 [46,48)\n");
  EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{14, 34, 42, 46, 48}));
}

TEST_F(ScriptRendering, StackingEnds) {
  Load("udp\n0\n1\nLOOP\n");
  // Names itself as its parent: length 0 ends at once, length 1 at the depth limit.
  Load("loop\n0\n0\nLOOP\n");
  const Bytes frame = UdpFrame(Bytes(64, 0x55));
  TreeDecode t = Decode(frame);
  EXPECT_EQ(AfterUdp(t.text), "LOOP [42,43)\nLOOP [43,43)\n");

  Load("loop\n0\n1\nLOOP\n");
  t = Decode(frame);
  const auto top = t.tree.TopLevel();
  const auto scriptLines = static_cast<int>(top.size()) - 3;  // after Ethernet II, IPv4, UDP
  EXPECT_GT(scriptLines, 10);  // more layers than the ten a fixed list would hold
  EXPECT_LT(scriptLines, PacketDecoder::kMaxDepth);
  EXPECT_EQ(t.layerStarts.size(), 2u + static_cast<std::size_t>(scriptLines) + 1u);
  EXPECT_EQ(t.layerStarts.back(), 42 + scriptLines);  // the unsupported rest

  // A rule longer than the frame takes the captured rest; offered the empty
  // rest, the script (it has no conditions) matches once more with length 0.
  Load("loop\n0\n1000\nLOOP\n");
  t = Decode(frame);
  EXPECT_EQ(AfterUdp(t.text), "LOOP [42,43)\nLOOP [43,106)\nLOOP [106,106)\n");
}

}  // namespace
}  // namespace qv
