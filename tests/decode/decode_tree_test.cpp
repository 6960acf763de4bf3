#include "decode/decode_tree.h"

#include <vector>

#include "decode/packet_decoder.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

TEST(DecodeTree, KeepsHandlesWhileSiblingsAreAppendedAndPrintsDepthFirst) {
  DecodeTree tree;
  const NodeId ip = tree.Add(kRootNode, "IPv4", 14, 34);
  tree.Add(ip, "Version: 4 (0x4)", 14, 15);
  // An inner decoder adds a top-level line; the outer one then goes on with
  // its own fields under the handle it kept.
  const NodeId tcp = tree.Add(kRootNode, "TCP", 34, 54);
  tree.Add(ip, "Protocol: 6 (0x06) [TCP]", 23, 24);
  tree.Add(tree.Add(tcp, "Flags", 47, 48), "-1----: SYN on", 47, 48);
  tree.Add(kRootNode, "no range");

  EXPECT_EQ(tree.ToText(),
            "IPv4 [14,34)\n"
            "  Version: 4 (0x4) [14,15)\n"
            "  Protocol: 6 (0x06) [TCP] [23,24)\n"
            "TCP [34,54)\n"
            "  Flags [47,48)\n"
            "    -1----: SYN on [47,48)\n"
            "no range\n");
  EXPECT_EQ(tree.NextSibling(ip), tcp);
  EXPECT_EQ(tree.Depth(ip), 0);
  EXPECT_EQ(tree.Depth(tree.FirstChild(tree.FirstChild(tcp))), 2);
  EXPECT_EQ(tree.LineCount(), 7u);

  tree.Clear();
  EXPECT_TRUE(tree.Empty());
  EXPECT_EQ(tree.ToText(), "");
}

TEST(DecodeTree, OffsetsBeyondSixteenBitsDoNotWrap) {
  DecodeTree tree;
  const NodeId n = tree.Add(kRootNode, "payload", 65530, 65536);
  EXPECT_EQ(tree[n].start, 65530u);
  EXPECT_EQ(tree[n].end, 65536u);
}

// Bytes that are not the frame's (a decrypted payload): the lines decoded
// from them have no range in the frame, keep their bytes as their value, and
// add no layer start for the hex dump.
TEST(DecodeTree, DetachedBytesGiveLinesWithoutRangesThatKeepTheirValues) {
  static constexpr FieldInfo kOuter{"test.outer", "Outer", FieldType::Protocol};
  static constexpr FieldInfo kWord{"test.word", "Word", FieldType::UInt16, FieldBase::Hex};
  static constexpr FieldInfo kName{"test.name", "Name", FieldType::String};
  const std::vector<std::uint8_t> frame(20, 0xEE);
  const std::vector<std::uint8_t> plain = {0x12, 0x34, 'a', 'b', 'c'};

  DecodeTree tree;
  std::vector<std::int32_t> starts;
  PacketDecoder d(frame, {}, &tree, DecodeMode::Tree, &starts, nullptr);
  const NodeId outer = d.AddLayerLine(kOuter, "Outer", 0, 20);
  d.DecodeDetached(plain, outer, [&](PacketDecoder& inner) {
    EXPECT_TRUE(inner.IsDetached());
    inner.BeginLayer(Protocol::Dns);
    const FieldRead<std::uint32_t> word = inner.AddUint(inner.parentItem, kWord, 0, "Word: 0x%04x");
    EXPECT_EQ(*word, 0x1234u);
    const NodeId name = inner.AddBytes(inner.parentItem, kName, 2, 10, "Name: abc");
    inner.SetRange(name, 0, 5);  // ignored: detached lines have no range
    EXPECT_FALSE(inner.U8(5));   // reads stay inside the detached bytes
  });
  EXPECT_FALSE(d.IsDetached());
  EXPECT_TRUE(starts.empty());
  EXPECT_EQ(tree.ToText(), "Outer [0,20)\n  Word: 0x1234\n  Name: abc\n");
  const std::vector<NodeId> lines = tree.Children(outer);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(NodeValueText(tree[lines[0]], frame), "0x1234");
  EXPECT_EQ(NodeValueText(tree[lines[1]], frame), "abc");
}

}  // namespace
}  // namespace qv
