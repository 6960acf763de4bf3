#pragma once
// Runs the decoder over a test frame and returns what the views would see.

#include <arpa/inet.h>

#include <algorithm>
#include <initializer_list>
#include <pcap/pcap.h>

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
  void LearnName(const LearnedName& learned) override {
    char text[INET6_ADDRSTRLEN] = {};
    ::inet_ntop(learned.ipv6 ? AF_INET6 : AF_INET, learned.address.data(), text, sizeof text);
    names.push_back(std::string(NameOriginText(learned.origin)) + ": " + text + " = " + std::string(learned.name));
  }

  std::vector<std::string> protocols;  // "IPv4/2", ...
  std::vector<IpConversationSample> samples;
  std::vector<std::string> names;      // "DNS answer: 192.0.2.1 = www.example.com", ...
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

// The classic decoders alone unless `decoders` says otherwise.
inline TreeDecode DecodeTreeOf(std::span<const std::uint8_t> frame, ScriptHost* scripts = nullptr,
                               EnabledDecoders decoders = EnabledDecoders::Classic(),
                               int linkType = kLinkTypeEthernet) {
  TreeDecode out;
  PacketDecoder d(frame, {linkType, nullptr, scripts, decoders}, &out.tree, DecodeMode::Tree, &out.layerStarts,
                  nullptr);
  d.Decode();
  out.text = out.tree.ToText();
  return out;
}

struct SummaryDecode {
  PacketSummary row;
  RecordingSink sink;
};

inline SummaryDecode DecodeSummaryOf(std::span<const std::uint8_t> frame,
                                     EnabledDecoders decoders = EnabledDecoders::Classic(),
                                     int linkType = kLinkTypeEthernet) {
  SummaryDecode out;
  PacketDecoder d(frame, {linkType, &out.sink, nullptr, decoders}, nullptr, DecodeMode::Summary, nullptr, &out.row);
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

// Every line that names a field, depth first: "abbrev=value [start,end)",
// indented two blanks per depth like DecodeTree::ToText(); lines without a
// field are left out (their field lines keep their own depth).
inline std::string FieldsText(const DecodeTree& tree, std::span<const std::uint8_t> frame) {
  std::string out;
  for (NodeId id = 1; id <= static_cast<NodeId>(tree.LineCount()); ++id) {
    const DecodeNode& n = tree[id];
    if (n.field == nullptr) continue;
    out.append(static_cast<std::size_t>(tree.Depth(id)) * 2, ' ');
    out += std::string(n.field->abbrev) + "=" + NodeValueText(n, frame);
    if (n.HasRange()) out += " [" + std::to_string(n.start) + "," + std::to_string(n.end) + ")";
    out += '\n';
  }
  return out;
}

// The same for the layers (top-level lines) whose protocol field is one of
// `layers`, so that a decoder's test shows its own fields only.
inline void AppendFieldsOf(const DecodeTree& tree, std::span<const std::uint8_t> frame, NodeId id, std::string& out) {
  const DecodeNode& n = tree[id];
  if (n.field != nullptr) {
    out.append(static_cast<std::size_t>(tree.Depth(id)) * 2, ' ');
    out += std::string(n.field->abbrev) + "=" + NodeValueText(n, frame);
    if (n.HasRange()) out += " [" + std::to_string(n.start) + "," + std::to_string(n.end) + ")";
    out += '\n';
  }
  for (NodeId c = tree.FirstChild(id); c != kNoNode; c = tree.NextSibling(c)) AppendFieldsOf(tree, frame, c, out);
}

inline std::string FieldsText(const DecodeTree& tree, std::span<const std::uint8_t> frame,
                              std::initializer_list<std::string_view> layers) {
  std::string out;
  for (const NodeId layer : tree.TopLevel()) {
    const FieldInfo* f = tree[layer].field;
    if (f != nullptr && std::find(layers.begin(), layers.end(), f->abbrev) != layers.end()) {
      AppendFieldsOf(tree, frame, layer, out);
    }
  }
  return out;
}

// Every value of field `abbrev`, joined by commas as `tshark -T fields` joins
// them; empty when no line shows it.
inline std::string FieldValues(const DecodeTree& tree, std::span<const std::uint8_t> frame, std::string_view abbrev) {
  std::string out;
  for (NodeId id = 1; id <= static_cast<NodeId>(tree.LineCount()); ++id) {
    const DecodeNode& n = tree[id];
    if (n.field == nullptr || n.field->abbrev != abbrev) continue;
    if (!out.empty()) out += ',';
    out += NodeValueText(n, frame);
  }
  return out;
}

// The value of the first line that shows field `abbrev`; "<absent>" when none does.
inline std::string FieldValue(const DecodeTree& tree, std::span<const std::uint8_t> frame, std::string_view abbrev) {
  for (NodeId id = 1; id <= static_cast<NodeId>(tree.LineCount()); ++id) {
    const DecodeNode& n = tree[id];
    if (n.field != nullptr && n.field->abbrev == abbrev) return NodeValueText(n, frame);
  }
  return "<absent>";
}

// The frames of a capture file, each exactly as captured; empty when the
// file cannot be read.
inline std::vector<Bytes> SavefileFrames(const std::string& path) {
  std::vector<Bytes> frames;
  char errbuf[PCAP_ERRBUF_SIZE] = {};
  pcap_t* handle = pcap_open_offline(path.c_str(), errbuf);
  if (handle == nullptr) return frames;
  pcap_pkthdr* header = nullptr;
  const u_char* data = nullptr;
  while (pcap_next_ex(handle, &header, &data) == 1) frames.emplace_back(data, data + header->caplen);
  pcap_close(handle);
  return frames;
}

#ifdef QUORVANET_CORPUS_DIR
// The captured bytes of every frame of the corpus file `name`; empty when the
// corpus is not there.
inline std::vector<Bytes> CorpusFrames(const char* name) {
  return SavefileFrames(std::string(QUORVANET_CORPUS_DIR) + "/" + name);
}
#endif

}  // namespace qv::testing
