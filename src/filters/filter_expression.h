#pragma once
// Display-filter texts built from what the user points at: a line of the
// decode tree ("Apply as Filter", "Copy > As Filter"), a conversation of the
// statistics, and the combination of such a text with the filter already in
// the field ("... and Selected").

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "decode/decode_tree.h"
#include "stats/ip_address.h"

namespace qv {

// How a selected line's filter joins the one in the field.
enum class FilterCombine : std::uint8_t {
  Selected,        // the selected filter alone
  NotSelected,     // !(selected)
  AndSelected,     // (current) && (selected)
  OrSelected,      // (current) || (selected)
  AndNotSelected,  // (current) && !(selected)
  OrNotSelected,   // (current) || !(selected)
};

// A string literal of the language: in double quotes, `\` and `"` escaped,
// bytes outside printable ASCII as \xNN.
std::string QuoteFilterString(std::span<const std::uint8_t> bytes);
std::string QuoteFilterString(std::string_view text);
// A byte string of the language: "aa:bb:cc".
std::string ByteStringText(std::span<const std::uint8_t> bytes);

// The filter that selects frames showing this line's value:
// `dns.qry.name == "example.com"`, `ip.src == 10.0.0.5`,
// `eth.src == 00:11:22:33:44:55`, bytes as `aa:bb:cc`, an absolute time as
// seconds since 1970 (`ntp.xmt == 1497881574.488488492`); a protocol line (or a
// line that only groups others, or one whose value bytes are missing) gives
// its field's name alone. Empty for a line without a field.
std::string FilterForLine(const DecodeNode& node, std::span<const std::uint8_t> frame);

// `selected` joined to `current` as `how` says; an empty `current` counts as
// "every frame", so "... and Selected" gives the selected filter alone and
// "... or Selected" as well.
std::string CombineFilters(std::string_view current, std::string_view selected, FilterCombine how);

// The frames between two hosts in either direction:
// `ip.addr == 10.0.0.1 && ip.addr == 10.0.0.2` (ipv6.addr for IPv6).
std::string ConversationFilter(const IpAddress& a, const IpAddress& b);

}  // namespace qv
