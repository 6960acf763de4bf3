#include "filters/filter_settings.h"

#include <algorithm>

#include "decode/fields.h"

namespace qv {

namespace {

constexpr const char* kHistorySection = "ListFilter";
constexpr const char* kColumnsSection = "Columns";

std::string_view Trimmed(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

// A kept text stays on one line: the history is a drop-down of single lines.
bool Keepable(std::string_view text) {
  return !text.empty() && text.size() <= kMaxHistoryText && text.find_first_of("\r\n") == std::string_view::npos;
}

std::vector<std::string> ReadList(const SettingsStore& store, const char* section, const char* prefix,
                                  std::size_t slots, bool (*accept)(std::string_view)) {
  std::vector<std::string> out;
  for (std::size_t i = 1; i <= slots; ++i) {
    const std::optional<std::string> value = store.GetString(section, prefix + std::to_string(i));
    if (!value) continue;
    const std::string_view text = Trimmed(*value);
    if (!accept(text) || std::find(out.begin(), out.end(), text) != out.end()) continue;
    out.emplace_back(text);
  }
  return out;
}

bool WriteList(SettingsStore& store, const char* section, const char* prefix, std::size_t slots,
               const std::vector<std::string>& values) {
  bool ok = true;
  // Slots past the list are emptied, so a shorter list leaves no old entries.
  for (std::size_t i = 1; i <= slots; ++i) {
    const std::string value = i <= values.size() ? values[i - 1] : std::string();
    ok = store.SetString(section, prefix + std::to_string(i), value) && ok;
  }
  return ok;
}

}  // namespace

std::vector<std::string> LoadFilterHistory(const SettingsStore& store) {
  return ReadList(store, kHistorySection, "History", kFilterHistorySize, &Keepable);
}

bool SaveFilterHistory(SettingsStore& store, const std::vector<std::string>& history) {
  return WriteList(store, kHistorySection, "History", kFilterHistorySize, history);
}

void RememberFilter(std::vector<std::string>& history, std::string_view text) {
  text = Trimmed(text);
  if (!Keepable(text)) return;
  std::erase(history, text);
  history.insert(history.begin(), std::string(text));
  if (history.size() > kFilterHistorySize) history.resize(kFilterHistorySize);
}

std::vector<std::string> LoadFieldColumns(const SettingsStore& store) {
  return ReadList(store, kColumnsSection, "Field", kMaxFieldColumns,
                  [](std::string_view name) { return !name.empty() && FindField(name) != nullptr; });
}

bool SaveFieldColumns(SettingsStore& store, const std::vector<std::string>& fields) {
  return WriteList(store, kColumnsSection, "Field", kMaxFieldColumns, fields);
}

}  // namespace qv
