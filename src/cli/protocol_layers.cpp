#include "cli/protocol_layers.h"

#include <string_view>

namespace qv {

namespace {

void AppendLayers(const DecodeTree& tree, NodeId parent, std::vector<NodeId>& layers, bool& ended) {
  for (NodeId id = tree.FirstChild(parent); id != kNoNode && !ended; id = tree.NextSibling(id)) {
    const FieldInfo* field = tree[id].field;
    // Extension headers ("ipv6.routing") are parts of tshark's IPv6 layer.
    if (field != nullptr && field->type == FieldType::Protocol && field->abbrev != "snap" &&
        field->abbrev.find('.') == std::string_view::npos) {
      layers.push_back(id);
      if (field->abbrev == "icmp" || field->abbrev == "icmpv6") {
        ended = true;
        return;
      }
    }
    AppendLayers(tree, id, layers, ended);
  }
}

}  // namespace

std::vector<NodeId> ProtocolLayers(const DecodeTree& tree) {
  std::vector<NodeId> layers;
  bool ended = false;
  AppendLayers(tree, kRootNode, layers, ended);
  return layers;
}

}  // namespace qv
