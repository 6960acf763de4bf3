#pragma once
// Which row of the conversation table holds a pair of addresses. IPv4 pairs,
// the common case, are keyed by one 64-bit word (source << 32 | destination);
// IPv6 pairs by their 32 bytes, compared and hashed inline. The table looks a
// pair up for every TCP or UDP frame, and when many conversations share a
// small table nearly every frame also gives a row to a new pair, so finding,
// adding and moving all stay cheap.
//
// IPv4 keys are kept by row. Up to kScanRows rows (the default table has
// 30) a pair is found by scanning that one small array, and moving a row to
// a new pair overwrites its key: far cheaper than taking an entry out of a
// hash table and putting it back, which would cost about as much again as
// the rest of the frame's statistics. Beyond that many rows an
// open-addressing hash table over the same keys finds them.

#include <cstdint>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "stats/ip_address.h"

namespace qv {

class ConversationIndex {
 public:
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

  // The row of the pair; kNone when it has none.
  std::uint32_t Find(const IpAddress& source, const IpAddress& destination) const {
    if (!source.IsV6()) {
      return v4_.Find(Key4(source, destination));
    }
    const auto found = v6_.find(Key6(source, destination));
    return found != v6_.end() ? found->second : kNone;
  }

  void Add(const IpAddress& source, const IpAddress& destination, std::uint32_t row) {
    if (!source.IsV6()) {
      v4_.Set(Key4(source, destination), row);
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
        v4_.Move(Key4(oldSource, oldDestination), Key4(source, destination), row);
      } else {
        auto entry = v6_.extract(Key6(oldSource, oldDestination));
        entry.key() = Key6(source, destination);
        v6_.insert(std::move(entry));
      }
      return;
    }
    if (!oldSource.IsV6()) {
      v4_.Release(Key4(oldSource, oldDestination), row);
    } else {
      v6_.erase(Key6(oldSource, oldDestination));
    }
    Add(source, destination, row);
  }

  void Clear() {
    v4_.Clear();
    v6_.clear();
  }

 private:
  static constexpr std::size_t kScanRows = 64;

  // Linear probing over a power-of-two array kept at most half full; a
  // removed entry is filled by moving later entries of its run back, so
  // there are no tombstones and a lookup stops at the first empty slot.
  class HashedPairs4 {
   public:
    std::uint32_t Find(std::uint64_t key) const {
      if (slots_.empty()) return kNone;
      for (std::size_t i = Home(key);; i = (i + 1) & mask_) {
        const Slot& slot = slots_[i];
        if (slot.row == kNone) return kNone;
        if (slot.key == key) return slot.row;
      }
    }
    // Keeps the row a key already has.
    void Add(std::uint64_t key, std::uint32_t row) {
      if ((used_ + 1) * 2 > slots_.size()) Grow();
      std::size_t i = Home(key);
      for (; slots_[i].row != kNone; i = (i + 1) & mask_) {
        if (slots_[i].key == key) return;
      }
      slots_[i] = {key, row};
      ++used_;
    }
    void Erase(std::uint64_t key) {
      if (slots_.empty()) return;
      std::size_t hole = Home(key);
      for (;; hole = (hole + 1) & mask_) {
        if (slots_[hole].row == kNone) return;
        if (slots_[hole].key == key) break;
      }
      // An entry after the hole may move into it unless its home lies
      // cyclically after the hole, up to the entry itself.
      for (std::size_t next = (hole + 1) & mask_; slots_[next].row != kNone; next = (next + 1) & mask_) {
        const std::size_t home = Home(slots_[next].key);
        if (((next - home) & mask_) >= ((next - hole) & mask_)) {
          slots_[hole] = slots_[next];
          hole = next;
        }
      }
      slots_[hole].row = kNone;
      --used_;
    }
    void Clear() {
      for (Slot& slot : slots_) slot.row = kNone;
      used_ = 0;
    }

   private:
    struct Slot {
      std::uint64_t key = 0;
      std::uint32_t row = kNone;
    };
    // Fibonacci hashing: the top bits of the key times 2^64 / phi.
    std::size_t Home(std::uint64_t key) const { return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> shift_); }
    void Grow() {
      std::vector<Slot> old = std::move(slots_);
      const std::size_t size = old.empty() ? 64 : old.size() * 2;
      slots_.assign(size, Slot{});
      mask_ = size - 1;
      shift_ = 64;
      for (std::size_t s = size; s > 1; s >>= 1) --shift_;
      used_ = 0;
      for (const Slot& slot : old) {
        if (slot.row != kNone) Add(slot.key, slot.row);
      }
    }

    std::vector<Slot> slots_;
    std::size_t mask_ = 0;
    int shift_ = 64;
    std::size_t used_ = 0;
  };

  // The IPv4 key of each row, and the hash table over them once there are
  // more than kScanRows.
  class Pairs4 {
   public:
    std::uint32_t Find(std::uint64_t key) const {
      if (hashed_) return hash_.Find(key);
      for (std::size_t row = 0; row < keys_.size(); ++row) {
        if (keys_[row] == key && held_[row]) return static_cast<std::uint32_t>(row);
      }
      return kNone;
    }
    // The row, which held no IPv4 pair, now holds `key`.
    void Set(std::uint64_t key, std::uint32_t row) {
      if (row >= keys_.size()) {
        keys_.resize(row + 1, 0);
        held_.resize(row + 1, 0);
      }
      keys_[row] = key;
      held_[row] = 1;
      ++count_;
      if (hashed_) {
        hash_.Add(key, row);
      } else if (count_ > kScanRows) {
        hashed_ = true;
        for (std::size_t r = 0; r < keys_.size(); ++r) {
          if (held_[r]) hash_.Add(keys_[r], static_cast<std::uint32_t>(r));
        }
      }
    }
    // The row's IPv4 pair passes from `from` to `to`.
    void Move(std::uint64_t from, std::uint64_t to, std::uint32_t row) {
      keys_[row] = to;
      if (hashed_) {
        hash_.Erase(from);
        hash_.Add(to, row);
      }
    }
    // The row no longer holds an IPv4 pair.
    void Release(std::uint64_t key, std::uint32_t row) {
      held_[row] = 0;
      --count_;
      if (hashed_) hash_.Erase(key);
    }
    void Clear() {
      keys_.clear();
      held_.clear();
      count_ = 0;
      hashed_ = false;
      hash_.Clear();
    }

   private:
    std::vector<std::uint64_t> keys_;  // by row
    std::vector<std::uint8_t> held_;   // whether the row's key is an IPv4 pair
    std::size_t count_ = 0;
    bool hashed_ = false;
    HashedPairs4 hash_;
  };

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

  Pairs4 v4_;
  std::unordered_map<Pair6, std::uint32_t, Pair6Hash> v6_;
};

}  // namespace qv
