#include "decode/decode_tree.h"

#include "decode/text_format.h"

namespace qv {

std::span<const std::uint8_t> ValueBytes(const DecodeNode& node, std::span<const std::uint8_t> frame) {
  if (node.bytesStored) {
    return {reinterpret_cast<const std::uint8_t*>(node.storedBytes.data()), node.storedBytes.size()};
  }
  if (!node.HasRange() || node.end > frame.size() || node.start > node.end) return {};
  return frame.subspan(node.start, node.end - node.start);
}

std::string NodeValueText(const DecodeNode& node, std::span<const std::uint8_t> frame) {
  if (node.field == nullptr) return {};
  if (node.field->type == FieldType::Protocol) return node.text;
  return FieldValueText(*node.field, node.value, ValueBytes(node, frame));
}

DecodeTree::DecodeTree() { Clear(); }

void DecodeTree::Clear() {
  nodes_.clear();
  nodes_.emplace_back();
  if (scratch_) nodes_.emplace_back();
}

void DecodeTree::KeepScratchLine(bool on) {
  scratch_ = on;
  Clear();
}

NodeId DecodeTree::ReuseScratchLine(NodeId parent, std::uint32_t start, std::uint32_t end) {
  DecodeNode& n = nodes_[kScratchLine];
  n.text.clear();
  n.start = start;
  n.end = end;
  n.parent = parent;
  n.firstChild = n.lastChild = n.nextSibling = kNoNode;
  n.field = nullptr;
  n.value = 0;
  n.storedBytes.clear();
  n.bytesStored = false;
  return kScratchLine;
}

NodeId DecodeTree::Add(NodeId parent, std::string text) { return Add(parent, std::move(text), 0, 0); }

NodeId DecodeTree::Add(NodeId parent, std::string text, std::uint32_t start, std::uint32_t end) {
  const auto id = static_cast<NodeId>(nodes_.size());
  DecodeNode node;
  node.text = std::move(text);
  node.start = start;
  node.end = end;
  node.parent = parent;
  nodes_.push_back(std::move(node));
  DecodeNode& p = (*this)[parent];
  if (p.lastChild == kNoNode) {
    p.firstChild = id;
  } else {
    (*this)[p.lastChild].nextSibling = id;
  }
  p.lastChild = id;
  return id;
}

std::vector<NodeId> DecodeTree::Children(NodeId id) const {
  std::vector<NodeId> out;
  for (NodeId c = FirstChild(id); c != kNoNode; c = NextSibling(c)) out.push_back(c);
  return out;
}

int DecodeTree::Depth(NodeId id) const {
  int depth = -1;
  for (NodeId p = (*this)[id].parent; p != kNoNode; p = (*this)[p].parent) ++depth;
  return depth;
}

namespace {
void AppendSubtree(const DecodeTree& tree, NodeId id, int depth, std::string& out) {
  for (NodeId c = tree.FirstChild(id); c != kNoNode; c = tree.NextSibling(c)) {
    const DecodeNode& n = tree[c];
    out.append(static_cast<std::size_t>(depth) * 2, ' ');
    out += n.text;
    if (n.HasRange()) {
      out += " [";
      AppendDecimal(out, n.start);
      out += ',';
      AppendDecimal(out, n.end);
      out += ')';
    }
    out += '\n';
    AppendSubtree(tree, c, depth + 1, out);
  }
}
}  // namespace

std::string DecodeTree::ToText() const {
  std::string out;
  AppendSubtree(*this, kRootNode, 0, out);
  return out;
}

}  // namespace qv
