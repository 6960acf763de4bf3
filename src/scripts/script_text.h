#pragma once
// Small text helpers of the script format: trimming, case-insensitive
// comparison, and the printf-style integer reading that the format is
// defined by.

#include <optional>
#include <string>
#include <string_view>

namespace qv::scripttext {

// Removes spaces, tabs and line-end characters at both ends.
std::string_view Trim(std::string_view text);

bool EqualsNoCase(std::string_view a, std::string_view b);

// Whitespace as the C library's isspace() sees it in the "C" locale.
bool IsSpace(char c);
bool IsDigit(char c);
std::string_view SkipSpace(std::string_view text);

// Reads an optionally signed decimal integer after optional whitespace, as
// "%d" does; the view is advanced past it. Absent (and the view unchanged)
// when no digit follows or the value does not fit an int.
std::optional<int> ReadInt(std::string_view& text);

// Drops the text up to and including the first occurrence of `needle`;
// leaves it unchanged when `needle` does not occur.
std::string_view DropThrough(std::string_view text, std::string_view needle);

bool OnlySpace(std::string_view text);

}  // namespace qv::scripttext
