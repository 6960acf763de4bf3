#pragma once
// The IP conversation statistics: what TCP and UDP frames over IPv4 hand
// over in summary mode. For now it keeps the samples' totals; the table of
// conversations with ports and host names grows here.

#include <atomic>
#include <cstdint>

#include "decode/ip_conversation_sample.h"

namespace qv {

class ConversationTable {
 public:
  void Update(const IpConversationSample& sample);
  void Clear();

  std::uint64_t Samples() const { return samples_.load(std::memory_order_relaxed); }
  std::uint64_t Bytes() const { return bytes_.load(std::memory_order_relaxed); }

 private:
  std::atomic<std::uint64_t> samples_{0};
  std::atomic<std::uint64_t> bytes_{0};
};

}  // namespace qv
