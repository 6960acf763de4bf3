#include "stats/conversation_table.h"

namespace qv {

void ConversationTable::Update(const IpConversationSample& sample) {
  samples_.fetch_add(1, std::memory_order_relaxed);
  bytes_.fetch_add(sample.totalLength, std::memory_order_relaxed);
}

void ConversationTable::Clear() {
  samples_.store(0, std::memory_order_relaxed);
  bytes_.store(0, std::memory_order_relaxed);
}

}  // namespace qv
