#pragma once
// `-z conv,eth`, `-z conv,ip`, `-z conv,ipv6`: one row per pair of
// addresses that exchanged frames, as tshark's conversation tables: the
// first frame's source is the row's first address, frames from it count as
// "->", frames towards it as "<-". Every Ethernet or IP layer of a frame
// counts (the inner frame of a tunnel too), each with the whole frame's
// length. Rows print by their total of frames, most first; ties in the
// order first seen.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "cli/statistics_table.h"

namespace qv {

enum class ConversationKind { Ethernet, Ipv4, Ipv6 };

class AddressConversations : public StatisticsTable {
 public:
  // `filter`: the -z option's own filter, named in the heading.
  AddressConversations(ConversationKind kind, std::optional<std::string> filter);

  void Add(const CountedFrame& frame) override;
  std::string Format() const override;

 private:
  struct Row {
    std::string first;   // the addresses as text
    std::string second;
    std::uint64_t outFrames = 0;  // from `first`
    std::uint64_t outBytes = 0;
    std::uint64_t inFrames = 0;   // towards `first`
    std::uint64_t inBytes = 0;
    std::int64_t startNs = 0;
    std::int64_t stopNs = 0;
  };
  void Count(const std::string& source, const std::string& destination, const CountedFrame& frame);

  ConversationKind kind_;
  std::optional<std::string> filter_;
  std::string_view layer_, source_, destination_;  // field abbreviations
  std::vector<Row> rows_;
  std::unordered_map<std::string, std::size_t> index_;  // both addresses, in sorted order
};

// A count of bytes as tshark writes it: "1286 bytes", "13 kB", "10 MB".
std::string SizeText(std::uint64_t bytes);

}  // namespace qv
