#pragma once
// Runs the decoder over a test frame and returns what the views would see.

#include <span>
#include <string>
#include <vector>

#include "decode/packet_decoder.h"
#include "framegen/frame_builder.h"

namespace qv::testing {

using framegen::Bytes;
using framegen::FrameBuilder;
using framegen::Hex;

// Records what summary-mode decoding reports to the statistics.
class RecordingSink : public DecodeSink {
 public:
  void AddProtocol(std::string_view name, int layer) override {
    protocols.push_back(std::string(name) + "/" + std::to_string(layer));
  }
  void UpdateConversation(const IpConversationSample& sample) override { samples.push_back(sample); }

  std::vector<std::string> protocols;  // "IPv4/2", ...
  std::vector<IpConversationSample> samples;
};

// Records every offer to the scripts as "parent@first byte offered"; claims nothing.
class RecordingScripts : public ScriptHost {
 public:
  bool ApplyScripts(PacketDecoder& d, std::uint32_t headerLength, std::string_view parentName) override {
    offers.push_back(std::string(parentName) + "@" + std::to_string(d.offset + headerLength));
    return false;
  }
  std::vector<std::string> offers;
};

struct TreeDecode {
  DecodeTree tree;
  std::vector<std::int32_t> layerStarts;
  std::string text;  // DecodeTree::ToText()
};

inline TreeDecode DecodeTreeOf(std::span<const std::uint8_t> frame, ScriptHost* scripts = nullptr) {
  TreeDecode out;
  PacketDecoder d(frame, {kLinkTypeEthernet, nullptr, scripts}, &out.tree, DecodeMode::Tree, &out.layerStarts,
                  nullptr);
  d.Decode();
  out.text = out.tree.ToText();
  return out;
}

struct SummaryDecode {
  PacketSummary row;
  RecordingSink sink;
};

inline SummaryDecode DecodeSummaryOf(std::span<const std::uint8_t> frame) {
  SummaryDecode out;
  PacketDecoder d(frame, {kLinkTypeEthernet, &out.sink, nullptr}, nullptr, DecodeMode::Summary, nullptr, &out.row);
  d.Decode();
  return out;
}

// Every line of the tree lies within the captured bytes.
inline bool RangesWithin(const DecodeTree& tree, std::uint32_t capturedLength) {
  for (NodeId id = 1; id <= static_cast<NodeId>(tree.LineCount()); ++id) {
    if (tree[id].end > capturedLength || tree[id].start > tree[id].end) return false;
  }
  return true;
}

}  // namespace qv::testing
