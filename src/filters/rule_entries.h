#pragma once
// What the address pages accept from their inputs before a row is added.

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace qv {

inline constexpr const char* kBadMacMessage = "Błędny adres MAC";
inline constexpr const char* kBadIpMessage = "Nieprawidłowy adres IP!";
inline constexpr const char* kBadPortMessage = "Nieprawidłowy numer portu!";

// Six ":"-separated groups of one or two hexadecimal digits, and nothing
// after the sixth. The accepted text upper-cased (one-digit groups stay one
// digit), or none.
std::optional<std::string> MacEntryText(std::string_view typed);

// The four fields of an IPv4 address box, none for a blank field. Blank
// fields count as 0; all four blank is no address.
std::optional<std::string> IpEntryText(const std::array<std::optional<int>, 4>& fields);

// Decimal digits only, at least one, at most 65535 however many digits.
bool IsPortEntry(std::string_view typed);

}  // namespace qv
