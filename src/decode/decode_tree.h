#pragma once
// The decode tree of one frame: one top-level line per protocol layer, field
// lines below it, detail lines below those. Every line may carry the byte
// range of the frame that it describes. Nodes live in one flat vector and
// refer to each other by index, so a decoder may keep a handle to its layer
// line while inner decoders append further top-level lines.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "decode/fields.h"

namespace qv {

using NodeId = std::int32_t;
inline constexpr NodeId kNoNode = -1;
inline constexpr NodeId kRootNode = 0;

struct DecodeNode {
  std::string text;
  std::uint32_t start = 0;  // first byte, from the start of the Ethernet header
  std::uint32_t end = 0;    // one past the last byte; start == end == 0: no range
  NodeId parent = kNoNode;
  NodeId firstChild = kNoNode;
  NodeId lastChild = kNoNode;
  NodeId nextSibling = kNoNode;
  // The registered field this line shows; null for a line of free text.
  const FieldInfo* field = nullptr;
  // The value of an integer, Boolean or time field.
  std::uint64_t value = 0;
  // The value bytes of a line without a frame range (decrypted data); a line
  // with a range takes its address, bytes or string value from the frame.
  std::string storedBytes;
  bool bytesStored = false;

  bool HasRange() const { return start != 0 || end != 0; }
};

// The bytes that hold a line's value: its stored bytes, or its range of the frame.
std::span<const std::uint8_t> ValueBytes(const DecodeNode& node, std::span<const std::uint8_t> frame);
// The line's value as `tshark -T fields` writes it; empty for a line without a field.
std::string NodeValueText(const DecodeNode& node, std::span<const std::uint8_t> frame);

class DecodeTree {
 public:
  DecodeTree();

  // Removes every line; only the invisible root remains (and the scratch
  // line, in a tree that keeps one).
  void Clear();

  // A tree for display filters keeps only the lines of the fields they test:
  // every other line is written to one scratch line, which is not linked
  // into the tree, and the lines kept may hang below it. Such a tree is read
  // line by line in the order written, not from its root. Clears the tree.
  void KeepScratchLine(bool on);
  NodeId ScratchLine() const { return scratch_ ? kScratchLine : kNoNode; }
  // The scratch line emptied for its next use.
  NodeId ReuseScratchLine(NodeId parent, std::uint32_t start, std::uint32_t end);

  // Appends a line as the last child of `parent` and returns its id.
  NodeId Add(NodeId parent, std::string text);
  NodeId Add(NodeId parent, std::string text, std::uint32_t start, std::uint32_t end);

  const DecodeNode& operator[](NodeId id) const { return nodes_[static_cast<std::size_t>(id)]; }
  DecodeNode& operator[](NodeId id) { return nodes_[static_cast<std::size_t>(id)]; }

  // Number of lines, the root not counted (the scratch line is).
  std::size_t LineCount() const { return nodes_.size() - 1; }
  bool Empty() const { return nodes_.size() == 1; }

  NodeId FirstChild(NodeId id) const { return (*this)[id].firstChild; }
  NodeId NextSibling(NodeId id) const { return (*this)[id].nextSibling; }
  std::vector<NodeId> Children(NodeId id) const;
  std::vector<NodeId> TopLevel() const { return Children(kRootNode); }

  // Depth of a line: 0 for top-level lines.
  int Depth(NodeId id) const;

  // The tree as text, depth first, one line per node, indented two blanks per
  // depth: "text [start,end)", or just "text" for a line without a range.
  std::string ToText() const;

 private:
  static constexpr NodeId kScratchLine = 1;
  std::vector<DecodeNode> nodes_;
  bool scratch_ = false;
};

}  // namespace qv
