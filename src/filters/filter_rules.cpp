#include "filters/filter_rules.h"

#include <cctype>
#include <utility>

namespace qv {

namespace {

const std::vector<std::string_view> kEthKeywords = {"ip",  "ip6", "arp", "rarp", "atalk", "aarp", "decnet", "sca",
                                                    "lat", "mopdl", "moprc", "iso", "stp", "ipx", "netbeui"};
const std::vector<std::string_view> kIpKeywords = {"icmp", "icmp6", "igmp", "igrp", "pim",
                                                   "ah",   "esp",   "vrrp", "udp",  "tcp"};
const std::vector<std::string_view> kTcpKeywords = {"tcp-fin", "tcp-syn", "tcp-rst", "tcp-push", "tcp-ack", "tcp-urg"};
const std::vector<std::string_view> kIcmpKeywords = {
    "echoreply", "unreach", "sourcequench", "redirect", "echo",   "routeradvert", "routersolicit", "timxceed",
    "paramprob", "tstamp",  "tstampreply",  "ireq",     "ireqreply", "maskreq",  "maskreply"};

std::string Term(ProtocolPage page, std::string_view keyword) {
  std::string k(keyword);
  switch (page) {
    case ProtocolPage::Eth:
      return k + " ";
    case ProtocolPage::Ip:
      return k;
    case ProtocolPage::Tcp:
      return " " + k + " ";
    case ProtocolPage::Icmp:
      return " icmp[icmptype] = icmp-" + k + " ";
  }
  return k;
}

std::string_view Joiner(ProtocolPage page) { return page == ProtocolPage::Tcp ? " | " : " or "; }

std::string ProtocolFragment(const FilterRules& rules, ProtocolPage page) {
  const ProtocolRules& p = rules.Protocol(page);
  if (!p.enabled) return {};
  const std::vector<std::string_view>& keywords = ProtocolKeywords(page);
  std::string f;
  for (std::size_t i = 0; i < 16; ++i) {
    // A mask read from a file may name rows the page does not have.
    if (!p.Checked(i) || i >= keywords.size()) continue;
    if (!f.empty()) f += Joiner(page);
    f += Term(page, keywords[i]);
  }
  if (f.empty()) return f;
  if (page == ProtocolPage::Tcp) f = " tcp [tcpflags] = " + f + " ";
  if (!p.capture) f = "not ( " + f + " )";
  return f;
}

struct Prefixes {
  std::string_view both, destination, other;
};

std::string AddressFragment(const AddressRules& page, const Prefixes& prefixes) {
  if (!page.enabled) return {};
  std::string f;
  for (const AddressEntry& e : page.entries) {
    if (!f.empty()) f += " or ";
    if (e.direction == kDirectionBoth) {
      f += prefixes.both;
    } else if (e.direction == kDirectionDestination) {
      f += prefixes.destination;
    } else {
      f += prefixes.other;
    }
    f += e.value;
  }
  return f;
}

}  // namespace

void ProtocolRules::SetChecked(std::size_t row, bool on) {
  if (row >= 16) return;
  const auto bit = static_cast<std::uint16_t>(1u << row);
  mask = static_cast<std::uint16_t>(on ? (mask | bit) : (mask & ~bit));
}

const std::vector<std::string_view>& ProtocolKeywords(ProtocolPage page) {
  switch (page) {
    case ProtocolPage::Eth:
      return kEthKeywords;
    case ProtocolPage::Ip:
      return kIpKeywords;
    case ProtocolPage::Tcp:
      return kTcpKeywords;
    case ProtocolPage::Icmp:
      break;
  }
  return kIcmpKeywords;
}

void AddressRules::AddOnTop(std::string value, std::string direction) {
  entries.insert(entries.begin(), AddressEntry{std::move(value), std::move(direction)});
}

ProtocolRules& FilterRules::Protocol(ProtocolPage page) {
  return const_cast<ProtocolRules&>(static_cast<const FilterRules&>(*this).Protocol(page));
}

const ProtocolRules& FilterRules::Protocol(ProtocolPage page) const {
  switch (page) {
    case ProtocolPage::Eth:
      return eth;
    case ProtocolPage::Ip:
      return ip;
    case ProtocolPage::Tcp:
      return tcp;
    case ProtocolPage::Icmp:
      break;
  }
  return icmp;
}

std::string_view JoinWord(bool joinAnd) { return joinAnd ? "and" : "or"; }

std::string EthFragment(const FilterRules& rules) { return ProtocolFragment(rules, ProtocolPage::Eth); }
std::string IpFragment(const FilterRules& rules) { return ProtocolFragment(rules, ProtocolPage::Ip); }
std::string TcpFragment(const FilterRules& rules) { return ProtocolFragment(rules, ProtocolPage::Tcp); }
std::string IcmpFragment(const FilterRules& rules) { return ProtocolFragment(rules, ProtocolPage::Icmp); }

std::string MacFragment(const FilterRules& rules) {
  return AddressFragment(rules.mac, {" ether host ", " ether dst ", " ether src "});
}
std::string IpAddrFragment(const FilterRules& rules) {
  return AddressFragment(rules.ipAddr, {" host ", " dst host ", " src host "});
}
std::string PortsFragment(const FilterRules& rules) {
  return AddressFragment(rules.ports, {" port ", " dst port ", " src port "});
}

std::string SizeFragment(const FilterRules& rules) {
  const SizeRules& s = rules.size;
  if (!s.enabled || s.number.empty()) return {};
  switch (s.relation) {
    case 0:
      return "less " + s.number;
    case 1:
      return " ( less " + s.number + " ) and ( greater " + s.number + " ) ";
    case 2:
      return "greater " + s.number;
    default:
      return {};
  }
}

std::string AdvancedFragment(const FilterRules& rules) {
  const AdvancedRules& a = rules.advanced;
  if (!a.enabled) return {};
  const std::string_view joiner = a.joinAnd ? " and " : " or ";
  std::string f;
  for (const AdvancedRule& r : a.rules) {
    if (!r.checked) continue;
    if (!f.empty()) f += joiner;
    f += " ( " + r.text + " ) ";
  }
  return f;
}

std::string BuildFilterExpression(const FilterRules& rules, const FilterBuildOptions& options) {
  using Fragment = std::string (*)(const FilterRules&);
  static constexpr Fragment kOrder[] = {EthFragment,   IpFragment,   MacFragment, IpAddrFragment,  PortsFragment,
                                        SizeFragment, TcpFragment, IcmpFragment, AdvancedFragment};
  // MAC addresses and the frame size are where they are with or without a
  // tag; every other rule reads the EtherType and what follows it.
  const auto tagBlind = [](Fragment f) { return f == MacFragment || f == SizeFragment; };
  std::string e;
  bool readsPastEthernet = false;
  for (Fragment fragment : kOrder) {
    const std::string f = fragment(rules);
    if (f.empty()) continue;
    readsPastEthernet = readsPastEthernet || !tagBlind(fragment);
    if (e.empty()) {
      e = " (" + f + ") ";
    } else {
      e += " ";
      e += JoinWord(rules.joinAnd);
      e += " (" + f + ") ";
    }
  }
  if (!options.matchVlan || !readsPastEthernet) return e;
  // libpcap's "vlan" moves the offsets of everything compiled after it, in
  // either branch of an "or": wrapping each rule on its own would make the
  // rules after the first wrapped one read untagged frames 4 bytes too far.
  // So the whole expression is repeated once, last, behind the one "vlan".
  return " (" + e + ") or (vlan and (" + e + ")) ";
}

std::string FilterKeywordForProtocol(std::string_view counterName) {
  static constexpr std::pair<std::string_view, std::string_view> kRenamed[] = {
      {"IPv4", "ip"}, {"IPv6", "ip6"}, {"BPDU", "stp"}, {"NetBIOS", "netbeui"}};
  for (const auto& [counter, keyword] : kRenamed) {
    if (counter == counterName) return std::string(keyword);
  }
  std::string keyword(counterName);
  for (char& c : keyword) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return keyword;
}

}  // namespace qv
