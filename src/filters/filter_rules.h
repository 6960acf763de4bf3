#pragma once
// The state of the nine rule pages of the Filters page, without widgets, and
// the builder that turns it into one expression in libpcap's filter language.
// The program never parses that language: the expression is text for
// pcap_compile, built afresh whenever a filter is applied.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// "ETH rules", "IP rules", "TCP rules", "ICMP rules": fixed keyword lists.
enum class ProtocolPage { Eth, Ip, Tcp, Icmp };

struct ProtocolRules {
  bool enabled = false;
  std::uint16_t mask = 0;  // bit i: row i of the page's keyword list is checked
  bool capture = true;     // false: "Ignore" negates the page's fragment

  bool Checked(std::size_t row) const { return row < 16 && (mask >> row & 1u) != 0; }
  void SetChecked(std::size_t row, bool on);
  bool operator==(const ProtocolRules&) const = default;
};

// The keywords of a protocol page, in row order.
const std::vector<std::string_view>& ProtocolKeywords(ProtocolPage page);

// Direction words of address entries.
inline constexpr std::string_view kDirectionDestination = "destination";
inline constexpr std::string_view kDirectionSource = "source";
inline constexpr std::string_view kDirectionBoth = "both";

struct AddressEntry {
  std::string value;
  std::string direction;  // "destination", "source" or "both"
  bool operator==(const AddressEntry&) const = default;
};

// "MAC addr", "IP addr", "Ports". Row 0 is the top row, the newest entry.
struct AddressRules {
  bool enabled = false;
  std::vector<AddressEntry> entries;

  void AddOnTop(std::string value, std::string direction);
  bool operator==(const AddressRules&) const = default;
};

// "Size": relation 0 "smaller than", 1 "equal", 2 "bigger than", -1 none.
struct SizeRules {
  bool enabled = false;
  int relation = 0;
  std::string number = "1";
  bool operator==(const SizeRules&) const = default;
};

struct AdvancedRule {
  std::string text;  // exactly as typed, blanks included
  bool checked = false;
  bool operator==(const AdvancedRule&) const = default;
};

// "Advanced rules": free-form expressions, appended at the end.
struct AdvancedRules {
  bool enabled = false;
  std::vector<AdvancedRule> rules;
  bool joinAnd = false;  // the page's own joiner; "OR" at first
  bool operator==(const AdvancedRules&) const = default;
};

struct FilterRules {
  bool joinAnd = true;  // the strip's "AND"/"OR" pair; "AND" at first
  ProtocolRules eth, ip, tcp, icmp;
  SizeRules size;
  AddressRules mac, ipAddr, ports;
  AdvancedRules advanced;

  ProtocolRules& Protocol(ProtocolPage page);
  const ProtocolRules& Protocol(ProtocolPage page) const;
  bool operator==(const FilterRules&) const = default;
};

// "and" or "or".
std::string_view JoinWord(bool joinAnd);

// The fragments of the nine pages; each empty when its page contributes nothing.
std::string EthFragment(const FilterRules& rules);
std::string IpFragment(const FilterRules& rules);
std::string TcpFragment(const FilterRules& rules);
std::string IcmpFragment(const FilterRules& rules);
std::string MacFragment(const FilterRules& rules);
std::string IpAddrFragment(const FilterRules& rules);
std::string PortsFragment(const FilterRules& rules);
std::string SizeFragment(const FilterRules& rules);
std::string AdvancedFragment(const FilterRules& rules);

// How the expression is built, beside the rules themselves: kept in the
// program's settings, not in rule files.
struct FilterBuildOptions {
  // "Match VLAN-tagged frames too": an expression E whose rules look past the
  // Ethernet header becomes "(E) or (vlan and (E))", so that it also accepts
  // frames with one 802.1Q tag.
  bool matchVlan = false;
};

// The whole expression, possibly empty (which accepts every frame).
std::string BuildFilterExpression(const FilterRules& rules, const FilterBuildOptions& options = {});

// The filter keyword of a protocol as the layer counters name it ("IPv4" is
// "ip", "BPDU" is "stp"); otherwise the name in lower case.
std::string FilterKeywordForProtocol(std::string_view counterName);

}  // namespace qv
