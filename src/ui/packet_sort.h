#pragma once
// Ordering of packet-list rows by one column, the way the list compares two
// rows' texts: Time as four decimal numbers split at ":", MAC addresses as
// six hexadecimal fields, IP addresses as four decimal fields, Size and ports
// as decimal numbers, Protocols as case-sensitive text. A field that does not
// parse (the "----" placeholder) counts as 0.

#include <cstdint>
#include <string_view>

namespace qv {

// -1, 0 or 1, comparing the texts of two rows in `column`.
int CompareColumnTexts(std::string_view a, std::string_view b, int column);

// For the numeric columns: one number that orders like CompareColumnTexts,
// so a million rows sort without comparing texts.
std::uint64_t NumericSortKey(std::string_view text, int column);

bool IsTextColumn(int column);

}  // namespace qv
