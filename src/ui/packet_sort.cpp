#include "ui/packet_sort.h"

#include <array>

#include "capture/packet_row.h"

namespace qv {

namespace {

// strtoul-like: optional leading blanks, digits of the base; no digits → 0.
std::uint64_t ParseField(std::string_view field, int base) {
  std::size_t i = 0;
  while (i < field.size() && field[i] == ' ') ++i;
  std::uint64_t value = 0;
  for (; i < field.size(); ++i) {
    const char c = field[i];
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      break;
    }
    if (digit >= base) break;
    value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
    if (value > 0xFFFFFFFFull) value = 0xFFFFFFFFull;
  }
  return value;
}

struct Fields {
  std::array<std::uint64_t, 6> v{};
  int count = 0;
};

Fields Split(std::string_view text, char separator, int maxFields, int base) {
  Fields f;
  f.count = maxFields;
  std::size_t start = 0;
  for (int i = 0; i < maxFields; ++i) {
    if (start > text.size()) break;
    const std::size_t end = text.find(separator, start);
    const std::string_view field = text.substr(start, end == std::string_view::npos ? text.size() - start : end - start);
    f.v[static_cast<std::size_t>(i)] = ParseField(field, base);
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return f;
}

Fields FieldsOf(std::string_view text, int column) {
  switch (column) {
    case kColumnTime:
      return Split(text, ':', 4, 10);
    case kColumnSrcMac:
    case kColumnDestMac:
      return Split(text, ':', 6, 16);
    case kColumnSrcIp:
    case kColumnDestIp:
      return Split(text, '.', 4, 10);
    default:
      return Split(text, '\0', 1, 10);
  }
}

}  // namespace

bool IsTextColumn(int column) { return column == kColumnProtocols; }

int CompareColumnTexts(std::string_view a, std::string_view b, int column) {
  if (IsTextColumn(column)) {
    const int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  const Fields fa = FieldsOf(a, column);
  const Fields fb = FieldsOf(b, column);
  for (int i = 0; i < fa.count; ++i) {
    const auto x = fa.v[static_cast<std::size_t>(i)];
    const auto y = fb.v[static_cast<std::size_t>(i)];
    if (x != y) return x > y ? 1 : -1;
  }
  return 0;
}

std::uint64_t NumericSortKey(std::string_view text, int column) {
  const Fields f = FieldsOf(text, column);
  // Each field gets as many bits as its largest value needs; values that do
  // not fit (never produced by the row texts) are clamped.
  int bits;
  switch (column) {
    case kColumnTime: {
      const auto clamp = [](std::uint64_t v, std::uint64_t max) { return v < max ? v : max; };
      return ((clamp(f.v[0], 4095) * 64 + clamp(f.v[1], 63)) * 64 + clamp(f.v[2], 63)) * 1048576 +
             clamp(f.v[3], 1048575);
    }
    case kColumnSrcMac:
    case kColumnDestMac:
    case kColumnSrcIp:
    case kColumnDestIp:
      bits = 8;
      break;
    default:
      return f.v[0];
  }
  std::uint64_t key = 0;
  for (int i = 0; i < f.count; ++i) {
    const std::uint64_t v = f.v[static_cast<std::size_t>(i)];
    key = (key << bits) | (v > 255 ? 255 : v);
  }
  return key;
}

}  // namespace qv
