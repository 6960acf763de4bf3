#pragma once
// Reads a protocol script file and checks it line by line. The first fault
// throws CScriptExc with "Line N: ..." (N counts every physical line, blank
// ones included); nothing after it is read.

#include <string>
#include <string_view>
#include <vector>

#include "scripts/protocol_script.h"

namespace qv {

// Longest line a script may hold, without its line end.
inline constexpr std::size_t kMaxScriptLineLength = 1023;

// Parses the file at `path`. `parentNames` are the protocols a script may sit
// on. The returned script is enabled and carries `path`.
ProtocolScript ParseScriptFile(const std::string& path, const std::vector<std::string>& parentNames);

// The same over text already in memory (`path` is only recorded).
ProtocolScript ParseScriptText(std::string_view text, const std::string& path,
                               const std::vector<std::string>& parentNames);

}  // namespace qv
