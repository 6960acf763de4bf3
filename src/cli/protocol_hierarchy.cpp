#include "cli/protocol_hierarchy.h"

#include <algorithm>
#include <cstdio>

#include "cli/protocol_layers.h"

namespace qv {

namespace {

const char kRule[] = "===================================================================\n";

// The value of the layer line's child with this field; 0 when it has none.
std::uint64_t ChildValue(const DecodeTree& tree, NodeId layer, std::string_view abbrev) {
  for (NodeId id = tree.FirstChild(layer); id != kNoNode; id = tree.NextSibling(id)) {
    if (tree[id].field != nullptr && tree[id].field->abbrev == abbrev) return tree[id].value;
  }
  return 0;
}

// Whether the frame ends in TCP or UDP whose payload no decoder took: tshark
// calls such bytes a layer of "data".
bool EndsInPayload(const DecodeTree& tree, const std::vector<NodeId>& layers, std::size_t captured) {
  if (layers.size() < 2) return false;
  const DecodeNode& transport = tree[layers.back()];
  if (transport.field->abbrev != "tcp" && transport.field->abbrev != "udp") return false;
  const NodeId network = layers[layers.size() - 2];
  const std::string_view name = tree[network].field->abbrev;
  std::uint64_t end = 0;
  if (name == "ip") {
    end = tree[network].start + ChildValue(tree, network, "ip.len");
  } else if (name == "ipv6") {
    end = tree[network].start + 40 + ChildValue(tree, network, "ipv6.plen");
  }
  return transport.end < std::min<std::uint64_t>(end, captured);
}

}  // namespace

ProtocolHierarchy::ProtocolHierarchy(std::optional<std::string> filter) : filter_(std::move(filter)), nodes_(1) {}

void ProtocolHierarchy::Add(const CountedFrame& frame) {
  const std::vector<NodeId> layers = ProtocolLayers(frame.tree);
  std::vector<std::string_view> path;
  for (const NodeId layer : layers) path.push_back(frame.tree[layer].field->abbrev);
  if (EndsInPayload(frame.tree, layers, frame.bytes.size())) path.push_back("data");
  std::size_t at = 0;
  for (const std::string_view name : path) {
    std::size_t next = 0;
    for (const std::size_t child : nodes_[at].children) {
      if (nodes_[child].name == name) next = child;
    }
    if (next == 0) {
      next = nodes_.size();
      nodes_[at].children.push_back(next);
      nodes_.push_back(Node{name, 0, 0, {}});
    }
    ++nodes_[next].frames;
    nodes_[next].bytes += frame.wireLength;
    at = next;
  }
}

void ProtocolHierarchy::AppendNode(std::string& out, std::size_t node, int depth) const {
  // tshark indents two blanks a level and gives up after sixteen levels.
  std::string label;
  for (int i = 0; i < depth; ++i) {
    if (i > 15) {
      label += "...";
      break;
    }
    label += "  ";
  }
  label += nodes_[node].name;
  if (label.size() > 79) label.resize(79);
  char line[160];
  std::snprintf(line, sizeof line, "%-40s frames:%u bytes:%llu\n", label.c_str(), nodes_[node].frames,
                static_cast<unsigned long long>(nodes_[node].bytes));
  out += line;
  for (const std::size_t child : nodes_[node].children) AppendNode(out, child, depth + 1);
}

std::string ProtocolHierarchy::Format() const {
  std::string out = "\n";
  out += kRule;
  out += "Protocol Hierarchy Statistics\nFilter: " + filter_.value_or("") + "\n\n";
  for (const std::size_t top : nodes_[0].children) AppendNode(out, top, 0);
  out += kRule;
  return out;
}

}  // namespace qv
