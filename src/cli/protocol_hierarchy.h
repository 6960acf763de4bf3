#pragma once
// `-z io,phs`: Protocol Hierarchy Statistics. Each frame's protocol path
// (its layers, outermost first) is a path through one tree of protocols;
// every node counts the frames whose path passes it and their bytes on the
// wire. Nodes keep the order in which they were first seen. TCP or UDP
// payload that no decoder took ends its path with "data", as in tshark.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/statistics_table.h"

namespace qv {

class ProtocolHierarchy : public StatisticsTable {
 public:
  // `filter`: the -z option's own filter, named in the heading.
  explicit ProtocolHierarchy(std::optional<std::string> filter);

  void Add(const CountedFrame& frame) override;
  std::string Format() const override;

 private:
  struct Node {
    std::string_view name;
    std::uint32_t frames = 0;
    std::uint64_t bytes = 0;
    std::vector<std::size_t> children;
  };
  void AppendNode(std::string& out, std::size_t node, int depth) const;

  std::optional<std::string> filter_;
  std::vector<Node> nodes_;  // [0]: the root, above every top protocol
};

}  // namespace qv
