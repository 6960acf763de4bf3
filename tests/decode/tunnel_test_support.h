#pragma once
// What the tests of tags, labels and tunnels share: the text of the layers
// that name a protocol field, the outline of a tree, the check of every
// prefix of a frame, and the frames of a capture file.

#include <gtest/gtest.h>
#include <pcap/pcap.h>

#include <set>
#include <string>
#include <vector>

#include "decode_helpers.h"

namespace qv::testing {

inline void AppendSubtree(const DecodeTree& tree, NodeId id, int depth, std::string& out) {
  const DecodeNode& n = tree[id];
  out.append(static_cast<std::size_t>(depth) * 2, ' ');
  out += n.text;
  if (n.HasRange()) out += " [" + std::to_string(n.start) + "," + std::to_string(n.end) + ")";
  out += '\n';
  for (const NodeId child : tree.Children(id)) AppendSubtree(tree, child, depth + 1, out);
}

// The whole text of every layer of the tag, label and tunnel decoders,
// without the layers of the other decoders around them.
inline bool IsOwnLayer(const DecodeTree& tree, NodeId layer) {
  static const std::set<std::string_view> kOwn = {"vlan",  "ieee8021ad", "mpls", "pwmcw", "pppoed", "pppoes", "ppp",
                                                  "lcp",   "ipcp",       "ipv6cp", "gre", "vxlan"};
  const FieldInfo* f = tree[layer].field;
  return f != nullptr && kOwn.count(f->abbrev) != 0;
}

inline std::string FieldLayersText(const DecodeTree& tree) {
  std::string out;
  for (const NodeId layer : tree.TopLevel()) {
    if (IsOwnLayer(tree, layer)) AppendSubtree(tree, layer, 0, out);
  }
  return out;
}

// FieldsText() of those layers alone.
inline std::string OwnFieldsText(const DecodeTree& tree, std::span<const std::uint8_t> frame) {
  std::string out;
  for (NodeId id = 1; id <= static_cast<NodeId>(tree.LineCount()); ++id) {
    NodeId top = id;
    while (tree[top].parent != kRootNode) top = tree[top].parent;
    const DecodeNode& n = tree[id];
    if (n.field == nullptr || !IsOwnLayer(tree, top)) continue;
    out.append(static_cast<std::size_t>(tree.Depth(id)) * 2, ' ');
    out += std::string(n.field->abbrev) + "=" + NodeValueText(n, frame);
    if (n.HasRange()) out += " [" + std::to_string(n.start) + "," + std::to_string(n.end) + ")";
    out += '\n';
  }
  return out;
}

// One line per layer: "text [start,end)".
inline std::string Outline(const DecodeTree& tree) {
  std::string out;
  for (const NodeId layer : tree.TopLevel()) {
    const DecodeNode& n = tree[layer];
    out += n.text;
    if (n.HasRange()) out += " [" + std::to_string(n.start) + "," + std::to_string(n.end) + ")";
    out += '\n';
  }
  return out;
}

inline EnabledDecoders AllBut(OptionalDecoder off) {
  EnabledDecoders e = EnabledDecoders::All();
  e.Set(off, false);
  return e;
}

// Every prefix of `frame`, cut at every byte, decodes in both modes within
// its bytes; each prefix lives in a buffer of exactly its size, so the
// sanitizers see any read beyond it.
inline void ExpectEveryPrefixWithin(const Bytes& frame, EnabledDecoders decoders = EnabledDecoders::All()) {
  for (std::size_t n = 0; n <= frame.size(); ++n) {
    const Bytes prefix(frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(n));
    const auto len = static_cast<std::uint32_t>(n);
    RecordingScripts scripts;
    const TreeDecode t = DecodeTreeOf(prefix, &scripts, decoders);
    EXPECT_TRUE(RangesWithin(t.tree, len)) << "cut at " << n << "\n" << t.text;
    for (const std::int32_t start : t.layerStarts) {
      EXPECT_TRUE(start >= 0 && static_cast<std::uint32_t>(start) <= len) << "cut at " << n << ": " << start;
    }
    const SummaryDecode s = DecodeSummaryOf(prefix, decoders);
    EXPECT_LE(s.row.protocolCount, PacketSummary::kMaxProtocols);
  }
}


inline std::string CorpusFile(const char* name) { return std::string(QUORVANET_CORPUS_DIR) + "/" + name; }

// A frame of the tag, label and tunnel decoders and what decoding it with
// every decoder on must give.
struct Golden {
  const char* name;
  Bytes frame;
  std::string outline;  // every layer line
  std::string layers;   // FieldLayersText(): the whole text of those decoders' layers
  std::string fields;   // OwnFieldsText()
  std::vector<std::int32_t> layerStarts;
  std::vector<std::string> offers;  // to the scripts, which claim nothing
  std::string chain;
  std::vector<std::string> counters;
};

inline void ExpectGolden(const Golden& g) {
  SCOPED_TRACE(g.name);
  RecordingScripts scripts;
  const TreeDecode t = DecodeTreeOf(g.frame, &scripts, EnabledDecoders::All());
  EXPECT_EQ(Outline(t.tree), g.outline);
  EXPECT_EQ(FieldLayersText(t.tree), g.layers);
  EXPECT_EQ(OwnFieldsText(t.tree, g.frame), g.fields);
  EXPECT_EQ(t.layerStarts, g.layerStarts);
  EXPECT_EQ(scripts.offers, g.offers);

  const SummaryDecode s = DecodeSummaryOf(g.frame, EnabledDecoders::All());
  EXPECT_EQ(s.row.ProtocolsText(), g.chain);
  EXPECT_EQ(s.sink.protocols, g.counters);
}

}  // namespace qv::testing
