#pragma once
// The protocols the built-in decoders recognise: the name under which each is
// counted and listed in a row, and its layer for the statistics
// (1 link, 2 network, 3 transport, 4 application).

#include <cstdint>
#include <string_view>

namespace qv {

enum class Protocol : std::uint8_t {
  EthernetII,
  Ieee8022,
  Llc,
  Snap,
  Arp,
  Rarp,
  Bpdu,
  Ipv4,
  Ipv6Recognised,
  Ipx,
  Xns,
  Icmp,
  Igmp,
  Udp,
  Tcp,
  Nbipx,
  NetBios,
  Smb,
  X25Plp,
  LinuxCooked,
  RawIp,
  Loopback,
  // Decoded by the decoders added beyond the classic set.
  Ipv6,
  Icmpv6,
  Vlan,
  QinQ,
  Mpls,
  Pppoe,
  Ppp,
  Gre,
  Vxlan,
  Esp,
  Ah,
  Dns,
  Mdns,
  Llmnr,
  Dhcp,
  Dhcpv6,
  Ntp,
  Tls,
  Quic,
  Http,
  Ssdp,
  Count_
};

struct ProtocolInfo {
  std::string_view name;
  int layer;
  bool listedInRow;  // the Ethernet framings and IPv6 are counted but not listed
};

inline constexpr ProtocolInfo kProtocols[] = {
    {"Ethernet II", 1, false}, {"IEEE 802.2", 1, false}, {"LLC", 1, true},   {"SNAP", 1, true},
    {"ARP", 1, true},          {"RARP", 1, true},        {"BPDU", 1, true},  {"IPv4", 2, true},
    {"IPv6", 2, false},        {"IPX", 2, true},         {"XNS", 2, true},   {"ICMP", 2, true},
    {"IGMP", 2, true},         {"UDP", 3, true},         {"TCP", 3, true},   {"NBIPX", 4, true},
    {"NetBIOS", 4, true},      {"SMB", 4, true},         {"X25PLP", 4, true},
    // Link layers of captures on other adapters than Ethernet ones; like the
    // Ethernet framings they are counted but not listed.
    {"Linux cooked", 1, false}, {"Raw IP", 1, false},      {"Loopback", 1, false},
    // A decoded IPv6 header is listed like IPv4; tags, labels and tunnels
    // are listed where they stand in the chain.
    {"IPv6", 2, true},          {"ICMPv6", 2, true},       {"802.1Q", 1, true},  {"802.1ad", 1, true},
    {"MPLS", 1, true},          {"PPPoE", 1, true},        {"PPP", 1, true},     {"GRE", 2, true},
    {"VXLAN", 2, true},         {"ESP", 2, true},          {"AH", 2, true},
    // application protocols
    {"DNS", 4, true},           {"MDNS", 4, true},         {"LLMNR", 4, true},   {"DHCP", 4, true},
    {"DHCPv6", 4, true},        {"NTP", 4, true},          {"TLS", 4, true},     {"QUIC", 4, true},
    {"HTTP", 4, true},          {"SSDP", 4, true},
};
static_assert(std::size(kProtocols) == static_cast<std::size_t>(Protocol::Count_));

constexpr const ProtocolInfo& InfoOf(Protocol p) { return kProtocols[static_cast<std::size_t>(p)]; }

}  // namespace qv
