#pragma once
// One table of `-z` statistics: it counts the frames it is given and prints
// itself, at the end of the run, in the layout tshark prints the same table.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "decode/decode_tree.h"

namespace qv {

// A frame as the tables see it: its decode tree and the record's facts.
struct CountedFrame {
  const DecodeTree& tree;
  std::span<const std::uint8_t> bytes;
  std::uint32_t wireLength = 0;
  std::int64_t relativeNs = 0;  // since the first frame read
};

class StatisticsTable {
 public:
  virtual ~StatisticsTable() = default;
  virtual void Add(const CountedFrame& frame) = 0;
  virtual std::string Format() const = 0;
};

// The layer lines of a frame as tshark layers its protocols, in tree order.
// What follows ICMP or ICMPv6 is the datagram an error message quotes,
// which tshark decodes inside the ICMP layer, so it is no layer of the frame;
// SNAP is part of tshark's LLC layer.
std::vector<NodeId> ProtocolLayers(const DecodeTree& tree);

}  // namespace qv
