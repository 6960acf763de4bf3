#pragma once
// Host names that the traffic itself gave for addresses (DNS answers, TLS
// server names, HTTP Host lines ...), kept for the conversation table: one
// name per address, the latest one learned, with where it came from.
//
// The table is fed on the capture thread for every name a frame reports, so
// it has a fixed number of slots, all allocated at the first name, each with
// room for a name of 255 bytes; once full, the least recently used address
// gives its slot to the new one. Finding an address goes through a bucket
// array of fixed size chained through the slots, so neither learning nor
// looking up allocates after the first name. IPv4 and IPv6 addresses are
// kept apart by their family, whatever their bytes.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "decode/learned_name.h"
#include "stats/ip_address.h"

namespace qv {

class LearnedNames {
 public:
  static constexpr std::size_t kDefaultCapacity = 4096;
  // The longest name kept; a longer one is cut (never inside a UTF-8 character).
  static constexpr std::size_t kMaxNameLength = 255;

  explicit LearnedNames(std::size_t capacity = kDefaultCapacity);
  LearnedNames(const LearnedNames&) = delete;
  LearnedNames& operator=(const LearnedNames&) = delete;

  // Remembers `name` for the address, in place of what it had. An empty name
  // is ignored; control characters are kept out (they would break the lines
  // the names are shown and written on).
  void Learn(const IpAddress& address, std::string_view name, NameOrigin origin);
  void Learn(const LearnedName& learned);

  // The address's name and origin into `name` and `origin`; false (and both
  // untouched) when none was learned. A found address counts as used.
  bool Find(const IpAddress& address, std::string& name, NameOrigin& origin);

  // Forgets every name; the slots stay allocated.
  void Clear();

  std::size_t Size() const;
  std::size_t Capacity() const { return capacity_; }
  // Changes whenever a name is added or changes (not when one is learned
  // again as it was), so readers know when looking again is worth it.
  std::uint64_t Version() const { return version_.load(std::memory_order_acquire); }

  struct Entry {
    IpAddress address;
    std::string name;
    NameOrigin origin;
  };
  // The names from the least recently used to the most recently used.
  std::vector<Entry> Entries() const;

 private:
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;
  struct Slot {
    IpAddress address;
    NameOrigin origin = NameOrigin::Dns;
    std::uint8_t length = 0;
    std::uint32_t older = kNone, newer = kNone;  // the use order
    std::uint32_t chain = kNone;                 // the next slot in the same bucket
    std::array<char, kMaxNameLength> name{};
  };

  std::uint32_t& BucketOf(const IpAddress& address);
  std::uint32_t FindSlot(const IpAddress& address);
  void Unlink(std::uint32_t slot);
  void LinkNewest(std::uint32_t slot);
  void RemoveFromBucket(std::uint32_t slot);

  const std::size_t capacity_;
  mutable std::mutex mutex_;
  std::vector<Slot> slots_;             // empty until the first name
  std::vector<std::uint32_t> buckets_;  // a power of two, at least twice the slots
  std::uint32_t used_ = 0;              // slots handed out so far
  std::uint32_t oldest_ = kNone, newest_ = kNone;
  std::atomic<std::uint64_t> version_{0};
};

}  // namespace qv
