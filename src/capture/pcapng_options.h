#pragma once
// The options that end most pcapng blocks: a code and a length (in the
// section's byte order), the value, padded to four bytes; code 0 ends them.
// An option that claims more than the block holds ends the walk: the
// options before it stay good.

#include <cstdint>
#include <cstring>
#include <span>
#include <string>

namespace qv {

template <typename Visit>
void ForEachOption(std::span<const std::uint8_t> options, bool swapped, Visit&& visit) {
  while (options.size() >= 4) {
    std::uint16_t code;
    std::uint16_t length;
    std::memcpy(&code, options.data(), 2);
    std::memcpy(&length, options.data() + 2, 2);
    if (swapped) {
      code = __builtin_bswap16(code);
      length = __builtin_bswap16(length);
    }
    if (code == 0 || length > options.size() - 4) return;
    visit(code, options.subspan(4, length));
    const std::size_t padded = (std::size_t{length} + 3u) & ~std::size_t{3};
    if (padded > options.size() - 4) return;
    options = options.subspan(4 + padded);
  }
}

// A text option's value as a string: UTF-8 by the format's rules, and
// without the zero bytes some writers end it with.
inline std::string OptionText(std::span<const std::uint8_t> value) {
  std::size_t n = value.size();
  while (n > 0 && value[n - 1] == 0) --n;
  return {reinterpret_cast<const char*>(value.data()), n};
}

}  // namespace qv
