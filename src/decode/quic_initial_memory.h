#pragma once
// What the Initials of a QUIC connection need to be opened later: a server's
// Initial is sealed with keys from the client's first destination connection
// id, which only the client's first Initial carries. When a client Initial
// is opened, its source connection id (the server's Initials go to it) is
// remembered with that original id; an opened server Initial adds its own
// source id, to which the client's later Initials go.
//
// Bounded (the oldest entries give way) and safe to share between the
// capture thread and the views.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>

namespace qv {

class QuicInitialMemory {
 public:
  static constexpr std::size_t kDefaultCapacity = 4096;

  explicit QuicInitialMemory(std::size_t capacity = kDefaultCapacity) : capacity_(capacity == 0 ? 1 : capacity) {}

  // `connectionId` (a source id of an opened Initial) belongs to the
  // connection whose client first wrote to `originalDcid`.
  void Remember(std::span<const std::uint8_t> connectionId, std::span<const std::uint8_t> originalDcid);
  // The original destination id for a packet sent to `connectionId`.
  std::optional<std::string> OriginalDcidFor(std::span<const std::uint8_t> connectionId) const;

  std::size_t Size() const;
  void Clear();

 private:
  std::size_t capacity_;
  mutable std::mutex mutex_;
  std::unordered_map<std::string, std::string> byId_;
  std::deque<std::string> order_;  // oldest first
};

}  // namespace qv
