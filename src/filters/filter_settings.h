#pragma once
// What the list filter keeps between runs: the last filters applied (section
// "ListFilter", "History1" newest .. "History20") and the packet list's field
// columns (section "Columns", "Field1" .. "Field32", each a field's name such
// as "dns.qry.name"). Both are written the moment they change; the file may
// have been edited or damaged, so reading drops empty, over-long, repeated
// and (for columns) unknown entries.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "capture/settings_store.h"

namespace qv {

inline constexpr std::size_t kFilterHistorySize = 20;
inline constexpr std::size_t kMaxFieldColumns = 32;
// Longer texts are not kept: nobody recalls a filter of that size from a list.
inline constexpr std::size_t kMaxHistoryText = 4096;

// Newest first.
std::vector<std::string> LoadFilterHistory(const SettingsStore& store);
bool SaveFilterHistory(SettingsStore& store, const std::vector<std::string>& history);
// Puts `text` first (moving an earlier copy up), keeps at most
// kFilterHistorySize; an empty or over-long text changes nothing.
void RememberFilter(std::vector<std::string>& history, std::string_view text);

// The field columns in the order shown; only registered fields.
std::vector<std::string> LoadFieldColumns(const SettingsStore& store);
bool SaveFieldColumns(SettingsStore& store, const std::vector<std::string>& fields);

}  // namespace qv
