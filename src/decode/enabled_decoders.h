#pragma once
// The decoders added beyond the classic set, each of which the user may
// switch off (Enabled Protocols). A decoder switched off is as if it did not
// exist: the classic decoders take its place, and what it would have decoded
// goes to the protocol scripts and is then marked unsupported.

#include <cstdint>
#include <optional>
#include <string_view>

namespace qv {

enum class OptionalDecoder : std::uint8_t {
  Ipv6,    // the whole IPv6 header, its extension headers and IP in IPv6
  Icmpv6,
  Vlan,    // 802.1Q and 802.1ad tags
  Mpls,
  Pppoe,
  Gre,
  Vxlan,
  // application protocols
  Dns,     // DNS, mDNS and LLMNR
  Dhcp,
  Dhcpv6,
  Ntp,
  Tls,
  Quic,
  Http,     // HTTP/1.x over TCP, and SSDP over UDP
  Count_
};

struct OptionalDecoderInfo {
  std::string_view name;         // as display filters name the protocol; the settings key
  std::string_view title;        // shown in the Enabled Protocols dialog
  std::string_view description;
};

inline constexpr OptionalDecoderInfo kOptionalDecoders[] = {
    {"ipv6", "IPv6", "Internet Protocol Version 6: the header, extension headers and tunnels in IPv6"},
    {"icmpv6", "ICMPv6", "Internet Control Message Protocol v6: errors, echo, neighbour discovery, MLD"},
    {"vlan", "802.1Q / 802.1ad", "VLAN tags, stacked to any depth"},
    {"mpls", "MPLS", "MultiProtocol Label Switching label stacks"},
    {"pppoe", "PPPoE", "PPP over Ethernet: discovery and session stages, with PPP"},
    {"gre", "GRE", "Generic Routing Encapsulation"},
    {"vxlan", "VXLAN", "Virtual eXtensible Local Area Network (UDP port 4789)"},
    {"dns", "DNS / mDNS / LLMNR", "Domain Name System (port 53), multicast DNS (5353) and LLMNR (5355)"},
    {"dhcp", "DHCP", "Dynamic Host Configuration Protocol and BOOTP (UDP ports 67 and 68)"},
    {"dhcpv6", "DHCPv6", "Dynamic Host Configuration Protocol for IPv6 (UDP ports 546 and 547)"},
    {"ntp", "NTP", "Network Time Protocol (UDP port 123)"},
    {"tls", "TLS", "Transport Layer Security records and handshakes (TCP 443, 465, 853, 993, 995, 8443, or by content)"},
    {"quic", "QUIC", "QUIC headers, with Initial packets decrypted (UDP 443, or by a known version)"},
    {"http", "HTTP / SSDP", "HTTP/1.x requests and responses (TCP 80, 8080, 8000, 3128, or by content) and SSDP (UDP 1900)"},
};
static_assert(std::size(kOptionalDecoders) == static_cast<std::size_t>(OptionalDecoder::Count_));

constexpr const OptionalDecoderInfo& InfoOf(OptionalDecoder d) {
  return kOptionalDecoders[static_cast<std::size_t>(d)];
}

// The optional decoder with this name; nothing for any other name.
inline std::optional<OptionalDecoder> FindOptionalDecoder(std::string_view name) {
  for (std::size_t i = 0; i < std::size(kOptionalDecoders); ++i) {
    if (kOptionalDecoders[i].name == name) return static_cast<OptionalDecoder>(i);
  }
  return std::nullopt;
}

// Which optional decoders are on. A plain value, cheap to copy into every
// decoding run; all on unless said otherwise.
class EnabledDecoders {
 public:
  static constexpr EnabledDecoders All() { return EnabledDecoders(); }
  // Every optional decoder off: the classic decoders alone.
  static constexpr EnabledDecoders Classic() {
    EnabledDecoders e;
    e.disabled_ = (std::uint64_t{1} << static_cast<unsigned>(OptionalDecoder::Count_)) - 1;
    return e;
  }

  constexpr bool IsOn(OptionalDecoder d) const { return (disabled_ & Bit(d)) == 0; }
  constexpr void Set(OptionalDecoder d, bool on) {
    if (on) {
      disabled_ &= ~Bit(d);
    } else {
      disabled_ |= Bit(d);
    }
  }
  constexpr std::uint64_t DisabledMask() const { return disabled_; }
  static constexpr EnabledDecoders FromDisabledMask(std::uint64_t mask) {
    EnabledDecoders e;
    e.disabled_ = mask & Classic().disabled_;
    return e;
  }
  constexpr bool operator==(const EnabledDecoders&) const = default;

 private:
  static constexpr std::uint64_t Bit(OptionalDecoder d) { return std::uint64_t{1} << static_cast<unsigned>(d); }
  std::uint64_t disabled_ = 0;
};

}  // namespace qv
