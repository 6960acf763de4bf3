#pragma once
// QUIC's variable-length integers: the top two bits of the first byte give
// the length (1, 2, 4 or 8 bytes), the other bits the value, big-endian.

#include <cstdint>
#include <optional>

namespace qv {

struct QuicVarint {
  std::uint64_t value = 0;
  std::uint32_t length = 0;  // bytes it took
};

// The integer at `at`, read only within [at, end) of `bytes`; absent when it
// does not fit.
inline std::optional<QuicVarint> ReadQuicVarint(const std::uint8_t* bytes, std::uint32_t at, std::uint32_t end) {
  if (at >= end) return std::nullopt;
  const std::uint32_t length = 1u << (bytes[at] >> 6);
  if (end - at < length) return std::nullopt;
  std::uint64_t value = bytes[at] & 0x3F;
  for (std::uint32_t i = 1; i < length; ++i) value = value << 8 | bytes[at + i];
  return QuicVarint{value, length};
}

}  // namespace qv
