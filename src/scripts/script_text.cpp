#include "scripts/script_text.h"

#include <limits>

namespace qv::scripttext {

std::string_view Trim(std::string_view text) {
  auto trimmed = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  while (!text.empty() && trimmed(text.front())) text.remove_prefix(1);
  while (!text.empty() && trimmed(text.back())) text.remove_suffix(1);
  return text;
}

namespace {
char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view SkipSpace(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  return text;
}

std::optional<int> ReadInt(std::string_view& text) {
  std::string_view rest = SkipSpace(text);
  bool negative = false;
  if (!rest.empty() && (rest.front() == '+' || rest.front() == '-')) {
    negative = rest.front() == '-';
    rest.remove_prefix(1);
  }
  if (rest.empty() || !IsDigit(rest.front())) return std::nullopt;
  long long value = 0;
  while (!rest.empty() && IsDigit(rest.front())) {
    value = value * 10 + (rest.front() - '0');
    if (value > static_cast<long long>(std::numeric_limits<int>::max()) + 1) return std::nullopt;
    rest.remove_prefix(1);
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<int>::max() || value < std::numeric_limits<int>::min()) return std::nullopt;
  text = rest;
  return static_cast<int>(value);
}

std::string_view DropThrough(std::string_view text, std::string_view needle) {
  const auto at = text.find(needle);
  if (at == std::string_view::npos) return text;
  return text.substr(at + needle.size());
}

bool OnlySpace(std::string_view text) {
  for (char c : text) {
    if (!IsSpace(c)) return false;
  }
  return true;
}

}  // namespace qv::scripttext
