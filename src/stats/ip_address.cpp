#include "stats/ip_address.h"

#include "decode/text_format.h"

namespace qv {

bool IpAddress::IsLoopback() const {
  if (!IsV6()) return bytes[0] == 127;
  for (std::size_t i = 0; i < 15; ++i) {
    if (bytes[i] != 0) return false;
  }
  return bytes[15] == 1;
}

void IpAddress::AppendText(std::string& out) const {
  if (IsV6()) {
    AppendIpv6(out, bytes.data());
  } else {
    AppendIpv4(out, bytes.data());
  }
}

std::string IpAddress::Text() const {
  std::string out;
  AppendText(out);
  return out;
}

std::uint64_t HashAddressBytes(const std::uint8_t* bytes, std::uint64_t seed) {
  std::uint64_t high, low;
  std::memcpy(&high, bytes, 8);
  std::memcpy(&low, bytes + 8, 8);
  // Two rounds of a multiply-xorshift mix: every input bit reaches every
  // output bit, so addresses that differ in one byte spread over the buckets.
  std::uint64_t h = seed ^ (high * 0x9E3779B97F4A7C15ull);
  h ^= h >> 29;
  h = (h ^ low) * 0xBF58476D1CE4E5B9ull;
  h ^= h >> 32;
  h *= 0x94D049BB133111EBull;
  h ^= h >> 29;
  return h;
}

std::size_t IpAddressHash::operator()(const IpAddress& a) const noexcept {
  return static_cast<std::size_t>(HashAddressBytes(a.bytes.data(), static_cast<std::uint64_t>(a.family)));
}

}  // namespace qv
