#include "cli/json_frame.h"

#include <string_view>

#include "capture/packet_row.h"
#include "cli/json_text.h"
#include "decode/text_format.h"

namespace qv {

namespace {

// "seconds.microseconds", the fraction always six digits.
void AppendTime(std::string& out, const PacketRecord& record) {
  const std::uint64_t seconds = std::uint64_t{record.seconds} + record.microseconds / 1000000u;
  std::uint32_t us = record.microseconds % 1000000u;
  AppendDecimal(out, seconds);
  char fraction[7] = {'.'};
  for (int i = 6; i >= 1; --i) {
    fraction[i] = static_cast<char>('0' + us % 10);
    us /= 10;
  }
  out.append(fraction, sizeof fraction);
}

// The row texts hold no tabs, so the tabbed row splits back into its columns.
void AppendRow(std::string& out, std::string& scratch, const PacketRecord& record, const PacketSummary& row) {
  scratch.clear();
  AppendTabbedRow(scratch, record, row);
  out += '[';
  std::string_view rest(scratch);
  for (int column = 0; column < kColumnCount; ++column) {
    const std::size_t tab = column + 1 < kColumnCount ? rest.find('\t') : std::string_view::npos;
    if (column != 0) out += ',';
    AppendJsonString(out, rest.substr(0, tab));
    rest = tab == std::string_view::npos ? std::string_view() : rest.substr(tab + 1);
  }
  out += ']';
}

void AppendNode(std::string& out, const DecodeNode& n, std::span<const std::uint8_t> frame) {
  out += "{\"text\":";
  AppendJsonString(out, n.text);
  if (n.field != nullptr) {
    out += ",\"field\":";
    AppendJsonString(out, n.field->abbrev);
    out += ",\"value\":";
    if (n.field->type == FieldType::Protocol) {
      AppendJsonString(out, n.text);
    } else {
      AppendJsonString(out, NodeValueText(n, frame));
    }
  }
  if (n.HasRange()) {
    out += ",\"start\":";
    AppendDecimal(out, n.start);
    out += ",\"end\":";
    AppendDecimal(out, n.end);
  }
}

}  // namespace

void AppendJsonTree(std::string& out, const DecodeTree& tree, std::span<const std::uint8_t> frame) {
  out += '[';
  // Depth first without recursion: the parent links lead back up.
  NodeId id = tree.FirstChild(kRootNode);
  while (id != kNoNode) {
    const DecodeNode& n = tree[id];
    AppendNode(out, n, frame);
    if (n.firstChild != kNoNode) {
      out += ",\"children\":[";
      id = n.firstChild;
      continue;
    }
    out += '}';
    // Close every subtree that ends here, then go on with the next sibling.
    while (id != kNoNode && tree[id].nextSibling == kNoNode) {
      id = tree[id].parent;
      if (id == kRootNode || id == kNoNode) {
        id = kNoNode;
        break;
      }
      out += "]}";
    }
    if (id != kNoNode) {
      out += ',';
      id = tree[id].nextSibling;
    }
  }
  out += ']';
}

void AppendJsonFrame(std::string& out, std::uint64_t number, const PacketRecord& record, const PacketSummary& row,
                     const DecodeTree& tree) {
  thread_local std::string scratch;
  out += "{\"number\":";
  AppendDecimal(out, number);
  out += ",\"time\":\"";
  AppendTime(out, record);
  out += "\",\"length\":";
  AppendDecimal(out, record.wireLength);
  out += ",\"captured\":";
  AppendDecimal(out, record.capturedLength);
  out += ",\"linktype\":";
  if (record.linkType < 0) {
    out += '-';
    AppendDecimal(out, static_cast<std::uint64_t>(-static_cast<std::int64_t>(record.linkType)));
  } else {
    AppendDecimal(out, static_cast<std::uint64_t>(record.linkType));
  }
  out += ",\"row\":";
  AppendRow(out, scratch, record, row);
  out += ",\"tree\":";
  AppendJsonTree(out, tree, record.bytes);
  out += "}\n";
}

}  // namespace qv
