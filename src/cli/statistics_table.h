#pragma once
// One table of `-z` statistics: it counts the frames it is given and prints
// itself, at the end of the run, in the layout tshark prints the same table.

#include <cstdint>
#include <span>
#include <string>

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

}  // namespace qv
