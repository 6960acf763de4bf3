#include "decode/quic_initial_memory.h"

namespace qv {

namespace {

std::string KeyOf(std::span<const std::uint8_t> id) { return std::string(id.begin(), id.end()); }

}  // namespace

void QuicInitialMemory::Remember(std::span<const std::uint8_t> connectionId,
                                 std::span<const std::uint8_t> originalDcid) {
  // A zero-length id names no connection: every such packet would share it.
  if (connectionId.empty() || originalDcid.empty()) return;
  std::string key = KeyOf(connectionId);
  const std::lock_guard lock(mutex_);
  const auto found = byId_.find(key);
  if (found != byId_.end()) {
    found->second = KeyOf(originalDcid);
    return;
  }
  while (byId_.size() >= capacity_ && !order_.empty()) {
    byId_.erase(order_.front());
    order_.pop_front();
  }
  byId_.emplace(key, KeyOf(originalDcid));
  order_.push_back(std::move(key));
}

std::optional<std::string> QuicInitialMemory::OriginalDcidFor(std::span<const std::uint8_t> connectionId) const {
  if (connectionId.empty()) return std::nullopt;
  const std::lock_guard lock(mutex_);
  const auto found = byId_.find(KeyOf(connectionId));
  if (found == byId_.end()) return std::nullopt;
  return found->second;
}

std::size_t QuicInitialMemory::Size() const {
  const std::lock_guard lock(mutex_);
  return byId_.size();
}

void QuicInitialMemory::Clear() {
  const std::lock_guard lock(mutex_);
  byId_.clear();
  order_.clear();
}

}  // namespace qv
