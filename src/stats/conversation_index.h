#pragma once
// Which row of the conversation table holds a pair of addresses. IPv4 pairs,
// the common case, are keyed by one 64-bit word (source << 32 | destination);
// IPv6 pairs by their 32 bytes, compared and hashed inline. The table looks a
// pair up for every TCP or UDP frame, so both stay cheap.

#include <cstdint>
#include <cstring>
#include <unordered_map>

#include "stats/ip_address.h"

namespace qv {

class ConversationIndex {
 public:
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

  // The row of the pair; kNone when it has none.
  std::uint32_t Find(const IpAddress& source, const IpAddress& destination) const {
    if (!source.IsV6()) {
      const auto found = v4_.find(Key4(source, destination));
      return found != v4_.end() ? found->second : kNone;
    }
    const auto found = v6_.find(Key6(source, destination));
    return found != v6_.end() ? found->second : kNone;
  }

  void Add(const IpAddress& source, const IpAddress& destination, std::uint32_t row) {
    if (!source.IsV6()) {
      v4_.try_emplace(Key4(source, destination), row);
    } else {
      v6_.try_emplace(Key6(source, destination), row);
    }
  }

  // The row of one pair passes to another; within a family its entry is
  // reused without a new allocation.
  void Move(const IpAddress& oldSource, const IpAddress& oldDestination, const IpAddress& source,
            const IpAddress& destination, std::uint32_t row) {
    if (oldSource.IsV6() == source.IsV6()) {
      if (!source.IsV6()) {
        auto entry = v4_.extract(Key4(oldSource, oldDestination));
        entry.key() = Key4(source, destination);
        v4_.insert(std::move(entry));
      } else {
        auto entry = v6_.extract(Key6(oldSource, oldDestination));
        entry.key() = Key6(source, destination);
        v6_.insert(std::move(entry));
      }
      return;
    }
    if (!oldSource.IsV6()) {
      v4_.erase(Key4(oldSource, oldDestination));
    } else {
      v6_.erase(Key6(oldSource, oldDestination));
    }
    Add(source, destination, row);
  }

  void Clear() {
    v4_.clear();
    v6_.clear();
  }

 private:
  struct Pair6 {
    std::uint64_t words[4];
    friend bool operator==(const Pair6& a, const Pair6& b) {
      return a.words[0] == b.words[0] && a.words[1] == b.words[1] && a.words[2] == b.words[2] &&
             a.words[3] == b.words[3];
    }
  };
  struct Pair6Hash {
    std::size_t operator()(const Pair6& k) const noexcept {
      // A multiply-xorshift mix: pairs that differ in one byte spread.
      std::uint64_t h = k.words[0] * 0x9E3779B97F4A7C15ull;
      h ^= (h >> 29) ^ k.words[1];
      h = (h ^ (k.words[2] << 1 | k.words[2] >> 63)) * 0xBF58476D1CE4E5B9ull;
      h ^= (h >> 32) ^ k.words[3];
      h *= 0x94D049BB133111EBull;
      return static_cast<std::size_t>(h ^ (h >> 29));
    }
  };

  static std::uint64_t Key4(const IpAddress& source, const IpAddress& destination) {
    std::uint64_t key = 0;
    for (std::size_t i = 0; i < 4; ++i) key = key << 8 | source.bytes[i];
    for (std::size_t i = 0; i < 4; ++i) key = key << 8 | destination.bytes[i];
    return key;
  }
  static Pair6 Key6(const IpAddress& source, const IpAddress& destination) {
    Pair6 key;
    std::memcpy(key.words, source.bytes.data(), 16);
    std::memcpy(key.words + 2, destination.bytes.data(), 16);
    return key;
  }

  std::unordered_map<std::uint64_t, std::uint32_t> v4_;
  std::unordered_map<Pair6, std::uint32_t, Pair6Hash> v6_;
};

}  // namespace qv
