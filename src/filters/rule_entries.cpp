#include "filters/rule_entries.h"

#include <cctype>
#include <cstdio>

namespace qv {

namespace {
bool IsHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }
}  // namespace

std::optional<std::string> MacEntryText(std::string_view typed) {
  std::string upper(typed);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  int groups = 0;
  std::size_t at = 0;
  for (;;) {
    std::size_t digits = 0;
    while (at + digits < upper.size() && upper[at + digits] != ':') {
      if (!IsHex(upper[at + digits])) return std::nullopt;
      ++digits;
    }
    if (digits < 1 || digits > 2) return std::nullopt;
    ++groups;
    at += digits;
    if (at == upper.size()) break;
    ++at;  // the ':'
    if (groups == 6) return std::nullopt;  // something follows the sixth group
  }
  if (groups != 6) return std::nullopt;
  return upper;
}

std::optional<std::string> IpEntryText(const std::array<std::optional<int>, 4>& fields) {
  if (!fields[0] && !fields[1] && !fields[2] && !fields[3]) return std::nullopt;
  char text[64];
  std::snprintf(text, sizeof text, "%d.%d.%d.%d", fields[0].value_or(0), fields[1].value_or(0),
                fields[2].value_or(0), fields[3].value_or(0));
  return std::string(text);
}

bool IsPortEntry(std::string_view typed) {
  if (typed.empty()) return false;
  unsigned long value = 0;
  for (char c : typed) {
    if (c < '0' || c > '9') return false;
    // Stop growing once past the limit: a long text must not wrap around.
    if (value <= 65535) value = value * 10 + static_cast<unsigned long>(c - '0');
  }
  return value <= 65535;
}

}  // namespace qv
