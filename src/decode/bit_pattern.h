#pragma once
// The bit picture of a field that takes some bits of its container, as
// protocol analysers draw it: ".... 0000 1100 1000" shows the twelve low bits
// of a 16-bit container; the bits outside the field's mask are dots.

#include <cstdint>
#include <string>

#include "decode/fields.h"

namespace qv {

// The picture of `value` (the field's bits shifted down, as MaskedValue()
// gives them) within the field's container, in groups of four bits.
inline std::string BitPattern(const FieldInfo& f, std::uint64_t value) {
  const unsigned bits = FieldWidth(f) * 8;
  std::uint64_t mask = f.mask;
  if (mask == 0) mask = bits >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits) - 1;
  unsigned shift = 0;
  while (shift < 64 && ((mask >> shift) & 1) == 0) ++shift;
  const std::uint64_t container = shift < 64 ? value << shift : 0;
  std::string out;
  out.reserve(bits + bits / 4);
  for (unsigned i = bits; i-- > 0;) {
    const std::uint64_t bit = std::uint64_t{1} << i;
    out += (mask & bit) == 0 ? '.' : ((container & bit) != 0 ? '1' : '0');
    if (i % 4 == 0 && i != 0) out += ' ';
  }
  return out;
}

// "<picture> = <label>".
inline std::string BitLine(const FieldInfo& f, std::uint64_t value, const std::string& label) {
  return BitPattern(f, value) + " = " + label;
}

}  // namespace qv
