#include "decode/decode_tree.h"

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

}  // namespace
}  // namespace qv
