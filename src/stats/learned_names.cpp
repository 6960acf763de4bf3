#include "stats/learned_names.h"

#include <algorithm>
#include <cstring>

namespace qv {

namespace {

// How much of `name` fits a slot: at most its size, and not ending inside a
// UTF-8 sequence (continuation bytes are 10xxxxxx).
std::size_t FittingLength(std::string_view name, std::size_t room) {
  if (name.size() <= room) return name.size();
  std::size_t n = room;
  while (n > 0 && (static_cast<unsigned char>(name[n]) & 0xC0) == 0x80) --n;
  return n;
}

std::size_t BucketCount(std::size_t capacity) {
  std::size_t n = 1;
  while (n < 2 * capacity) n <<= 1;
  return n;
}

}  // namespace

LearnedNames::LearnedNames(std::size_t capacity)
    : capacity_(std::clamp<std::size_t>(capacity, 1, kNone - 1)) {}

void LearnedNames::Learn(const LearnedName& learned) {
  IpAddress address;
  address.family = learned.ipv6 ? IpAddress::Family::V6 : IpAddress::Family::V4;
  std::memcpy(address.bytes.data(), learned.address.data(), address.Size());
  Learn(address, learned.name, learned.origin);
}

void LearnedNames::Learn(const IpAddress& address, std::string_view name, NameOrigin origin) {
  const std::size_t length = FittingLength(name, kMaxNameLength);
  if (length == 0) return;
  std::lock_guard lock(mutex_);
  if (slots_.empty()) {
    // Once, at the first name: from now on nothing is allocated.
    slots_.resize(capacity_);
    buckets_.assign(BucketCount(capacity_), kNone);
  }
  std::uint32_t slot = FindSlot(address);
  bool changed = slot == kNone;
  if (slot == kNone) {
    if (used_ < capacity_) {
      slot = used_++;
    } else {
      slot = oldest_;
      RemoveFromBucket(slot);
      Unlink(slot);
    }
    Slot& s = slots_[slot];
    s.address = address;
    std::uint32_t& head = BucketOf(address);
    s.chain = head;
    head = slot;
    LinkNewest(slot);
  } else if (slot != newest_) {
    Unlink(slot);
    LinkNewest(slot);
  }

  Slot& s = slots_[slot];
  char text[kMaxNameLength];
  for (std::size_t i = 0; i < length; ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    text[i] = c < 0x20 || c == 0x7F ? '?' : static_cast<char>(c);
  }
  // The same name heard again (a ClientHello to the address a DNS answer
  // gave) keeps where it was first heard: the answer is what named it.
  changed = changed || s.length != length || std::memcmp(s.name.data(), text, length) != 0;
  if (!changed) return;
  std::memcpy(s.name.data(), text, length);
  s.length = static_cast<std::uint8_t>(length);
  s.origin = origin;
  version_.fetch_add(1, std::memory_order_release);
}

bool LearnedNames::Find(const IpAddress& address, std::string& name, NameOrigin& origin) {
  std::lock_guard lock(mutex_);
  if (slots_.empty()) return false;
  const std::uint32_t slot = FindSlot(address);
  if (slot == kNone) return false;
  if (slot != newest_) {
    Unlink(slot);
    LinkNewest(slot);
  }
  const Slot& s = slots_[slot];
  name.assign(s.name.data(), s.length);
  origin = s.origin;
  return true;
}

void LearnedNames::Clear() {
  std::lock_guard lock(mutex_);
  std::fill(buckets_.begin(), buckets_.end(), kNone);
  used_ = 0;
  oldest_ = newest_ = kNone;
  version_.fetch_add(1, std::memory_order_release);
}

std::size_t LearnedNames::Size() const {
  std::lock_guard lock(mutex_);
  return used_;
}

std::vector<LearnedNames::Entry> LearnedNames::Entries() const {
  std::lock_guard lock(mutex_);
  std::vector<Entry> out;
  out.reserve(used_);
  for (std::uint32_t i = oldest_; i != kNone; i = slots_[i].newer) {
    const Slot& s = slots_[i];
    out.push_back({s.address, std::string(s.name.data(), s.length), s.origin});
  }
  return out;
}

std::uint32_t& LearnedNames::BucketOf(const IpAddress& address) {
  const std::uint64_t hash = HashAddressBytes(address.bytes.data(), static_cast<std::uint64_t>(address.family));
  return buckets_[static_cast<std::size_t>(hash) & (buckets_.size() - 1)];
}

std::uint32_t LearnedNames::FindSlot(const IpAddress& address) {
  for (std::uint32_t i = BucketOf(address); i != kNone; i = slots_[i].chain) {
    if (slots_[i].address == address) return i;
  }
  return kNone;
}

void LearnedNames::RemoveFromBucket(std::uint32_t slot) {
  std::uint32_t* link = &BucketOf(slots_[slot].address);
  while (*link != kNone && *link != slot) link = &slots_[*link].chain;
  if (*link == slot) *link = slots_[slot].chain;
  slots_[slot].chain = kNone;
}

void LearnedNames::Unlink(std::uint32_t slot) {
  Slot& s = slots_[slot];
  (s.older == kNone ? oldest_ : slots_[s.older].newer) = s.newer;
  (s.newer == kNone ? newest_ : slots_[s.newer].older) = s.older;
  s.older = s.newer = kNone;
}

void LearnedNames::LinkNewest(std::uint32_t slot) {
  Slot& s = slots_[slot];
  s.older = newest_;
  s.newer = kNone;
  (newest_ == kNone ? oldest_ : slots_[newest_].newer) = slot;
  newest_ = slot;
}

}  // namespace qv
