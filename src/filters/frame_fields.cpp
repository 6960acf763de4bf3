#include "filters/frame_fields.h"

#include "decode/derived_fields.h"

namespace qv {

FrameFieldValues::FrameFieldValues(std::vector<const FieldInfo*> wanted)
    : wanted_(std::move(wanted)), values_(wanted_.size()) {}

void FrameFieldValues::Collect(const DecodeTree& tree, std::span<const std::uint8_t> frame,
                               const FrameFacts& facts) {
  // Which wanted field a line's own field counts for: a short list, looked
  // through for every line that names a field.
  struct Source {
    const FieldInfo* field;
    std::size_t wanted;
  };
  Source sources[64];
  std::size_t sourceCount = 0;
  auto addSource = [&](const FieldInfo* f, std::size_t i) {
    if (sourceCount < std::size(sources)) sources[sourceCount++] = {f, i};
  };
  std::vector<Source> moreSources;  // only when very many fields are wanted

  for (std::size_t i = 0; i < wanted_.size(); ++i) {
    std::vector<FieldOccurrence>& list = values_[i];
    list.clear();
    const FieldInfo& f = *wanted_[i];
    FieldOccurrence o;
    o.field = &f;
    switch (FrameFactOf(f)) {
      case FrameFact::None: break;
      case FrameFact::Frame:
        o.bytes = frame;
        o.text = "Frame";
        list.push_back(o);
        continue;
      case FrameFact::Number: o.number = facts.number; list.push_back(o); continue;
      case FrameFact::Length: o.number = facts.wireLength; list.push_back(o); continue;
      case FrameFact::CapturedLength: o.number = facts.capturedLength; list.push_back(o); continue;
      case FrameFact::TimeEpoch: o.number = static_cast<std::uint64_t>(facts.timeNs); list.push_back(o); continue;
      case FrameFact::TimeRelative:
        o.number = static_cast<std::uint64_t>(facts.relativeNs);
        list.push_back(o);
        continue;
      case FrameFact::TimeDelta: o.number = static_cast<std::uint64_t>(facts.deltaNs); list.push_back(o); continue;
    }
    const std::span<const FieldInfo* const> sides = FieldSides(f);
    if (sides.empty()) {
      if (sourceCount < std::size(sources)) addSource(&f, i); else moreSources.push_back({&f, i});
    } else {
      for (const FieldInfo* side : sides) {
        if (sourceCount < std::size(sources)) addSource(side, i); else moreSources.push_back({side, i});
      }
    }
  }
  if (sourceCount == 0) return;

  auto take = [&](const Source& s, const DecodeNode& node) {
    FieldOccurrence o;
    o.field = node.field;
    o.number = node.value;
    o.bytes = ValueBytes(node, frame);
    if (node.field->type == FieldType::Protocol) o.text = node.text;
    values_[s.wanted].push_back(o);
  };
  auto visit = [&](const DecodeNode& node) {
    if (node.field == nullptr) return;
    for (std::size_t k = 0; k < sourceCount; ++k) {
      if (sources[k].field == node.field) take(sources[k], node);
    }
    for (const Source& s : moreSources) {
      if (s.field == node.field) take(s, node);
    }
  };
  if (tree.ScratchLine() != kNoNode) {
    // A tree that kept only some lines: they are read in the order written.
    const auto end = static_cast<NodeId>(tree.LineCount() + 1);
    for (NodeId id = tree.ScratchLine() + 1; id < end; ++id) visit(tree[id]);
    return;
  }
  // Depth first, in the order the tree shows its lines.
  NodeId id = tree.FirstChild(kRootNode);
  while (id != kNoNode) {
    const DecodeNode& node = tree[id];
    visit(node);
    if (node.firstChild != kNoNode) {
      id = node.firstChild;
      continue;
    }
    while (id != kNoNode && tree[id].nextSibling == kNoNode) {
      id = tree[id].parent;
      if (id == kRootNode) id = kNoNode;
    }
    if (id != kNoNode) id = tree[id].nextSibling;
  }
}

std::string OccurrenceText(const FieldOccurrence& o) {
  if (o.field == nullptr) return {};
  if (o.field->type == FieldType::Protocol) return std::string(o.text);
  return FieldValueText(*o.field, o.number, o.bytes);
}

}  // namespace qv
