#include "cli/conversation_tables.h"

#include <algorithm>
#include <cstdio>

#include "cli/protocol_layers.h"

namespace qv {

namespace {

const char kRule[] = "================================================================================\n";

// Seconds as tshark's nstime_to_sec() makes them: whole seconds plus the
// nanoseconds, each of the same sign, added as doubles.
double Seconds(std::int64_t ns) {
  return static_cast<double>(ns / 1000000000) + static_cast<double>(ns % 1000000000) / 1e9;
}

const char* KindName(ConversationKind kind) {
  switch (kind) {
    case ConversationKind::Ethernet: return "Ethernet";
    case ConversationKind::Ipv4: return "IPv4";
    case ConversationKind::Ipv6: return "IPv6";
  }
  return "";
}

}  // namespace

std::string SizeText(std::uint64_t bytes) {
  static const char* const kPrefixes[] = {" T", " G", " M", " k"};
  std::uint64_t scaled[4] = {bytes / 1000 / 1000 / 1000 / 1000, bytes / 1000 / 1000 / 1000, bytes / 1000 / 1000,
                             bytes / 1000};
  for (int i = 0; i < 4; ++i) {
    if (scaled[i] >= 10) return std::to_string(scaled[i]) + kPrefixes[i] + "B";
  }
  return std::to_string(bytes) + " bytes";
}

AddressConversations::AddressConversations(ConversationKind kind, std::optional<std::string> filter)
    : kind_(kind), filter_(std::move(filter)) {
  switch (kind) {
    case ConversationKind::Ethernet: layer_ = "eth", source_ = "eth.src", destination_ = "eth.dst"; break;
    case ConversationKind::Ipv4: layer_ = "ip", source_ = "ip.src", destination_ = "ip.dst"; break;
    case ConversationKind::Ipv6: layer_ = "ipv6", source_ = "ipv6.src", destination_ = "ipv6.dst"; break;
  }
}

void AddressConversations::Add(const CountedFrame& frame) {
  const DecodeTree& tree = frame.tree;
  for (const NodeId layer : ProtocolLayers(tree)) {
    if (tree[layer].field->abbrev != layer_) continue;
    std::string source, destination;
    bool haveSource = false, haveDestination = false;
    for (NodeId id = tree.FirstChild(layer); id != kNoNode; id = tree.NextSibling(id)) {
      const DecodeNode& line = tree[id];
      if (line.field == nullptr) continue;
      if (!haveSource && line.field->abbrev == source_) {
        source = NodeValueText(line, frame.bytes);
        haveSource = true;
      } else if (!haveDestination && line.field->abbrev == destination_) {
        destination = NodeValueText(line, frame.bytes);
        haveDestination = true;
      }
    }
    // A header cut before its addresses makes no conversation.
    if (haveSource && haveDestination) Count(source, destination, frame);
  }
}

void AddressConversations::Count(const std::string& source, const std::string& destination, const CountedFrame& frame) {
  const bool ordered = source <= destination;
  std::string key = ordered ? source : destination;
  key += '\n';
  key += ordered ? destination : source;
  auto [at, added] = index_.try_emplace(std::move(key), rows_.size());
  if (added) rows_.push_back(Row{source, destination, 0, 0, 0, 0, frame.relativeNs, frame.relativeNs});
  Row& row = rows_[at->second];
  if (row.first == source && row.second == destination) {
    ++row.outFrames;
    row.outBytes += frame.wireLength;
  } else {
    ++row.inFrames;
    row.inBytes += frame.wireLength;
  }
  if (frame.relativeNs > row.stopNs) {
    row.stopNs = frame.relativeNs;
  } else if (frame.relativeNs < row.startNs) {
    row.startNs = frame.relativeNs;
  }
}

std::string AddressConversations::Format() const {
  std::string out = kRule;
  out += std::string(KindName(kind_)) + " Conversations\nFilter:" + filter_.value_or("<No Filter>") + "\n";
  out += "                                               |       <-      | |       ->      | |     Total     |"
         "    Relative    |   Duration   |\n"
         "                                               | Frames  Bytes | | Frames  Bytes | | Frames  Bytes |"
         "      Start     |              |\n";
  std::vector<const Row*> order;
  order.reserve(rows_.size());
  for (const Row& row : rows_) order.push_back(&row);
  std::stable_sort(order.begin(), order.end(), [](const Row* a, const Row* b) {
    return a->outFrames + a->inFrames > b->outFrames + b->inFrames;
  });
  for (const Row* row : order) {
    char line[512];
    std::snprintf(line, sizeof line, "%-20s <-> %-20s  %6llu %-9s  %6llu %-9s  %6llu %-9s  %14.9f   %12.4f\n",
                  row->first.c_str(), row->second.c_str(), static_cast<unsigned long long>(row->inFrames),
                  SizeText(row->inBytes).c_str(), static_cast<unsigned long long>(row->outFrames),
                  SizeText(row->outBytes).c_str(), static_cast<unsigned long long>(row->inFrames + row->outFrames),
                  SizeText(row->inBytes + row->outBytes).c_str(), Seconds(row->startNs),
                  Seconds(row->stopNs) - Seconds(row->startNs));
    out += line;
  }
  out += kRule;
  return out;
}

}  // namespace qv
