#pragma once
// A host name that the traffic itself gives for an address: a DNS, mDNS or
// LLMNR answer (A, AAAA) names the address it carries; a TLS or QUIC
// ClientHello's server name and an HTTP request's Host name the server the
// frame goes to. Summary-mode decoding reports each to the statistics.

#include <array>
#include <cstdint>
#include <string_view>

namespace qv {

enum class NameOrigin : std::uint8_t { Dns, Mdns, Llmnr, TlsServerName, QuicServerName, HttpHost, CaptureFile };

inline constexpr std::string_view NameOriginText(NameOrigin origin) {
  switch (origin) {
    case NameOrigin::Dns: return "DNS answer";
    case NameOrigin::Mdns: return "mDNS answer";
    case NameOrigin::Llmnr: return "LLMNR answer";
    case NameOrigin::TlsServerName: return "TLS server name";
    case NameOrigin::QuicServerName: return "QUIC server name";
    case NameOrigin::HttpHost: return "HTTP Host";
    case NameOrigin::CaptureFile: return "capture file";
  }
  return "traffic";
}

struct LearnedName {
  bool ipv6 = false;
  std::array<std::uint8_t, 16> address{};  // network order; IPv4 in the first four bytes
  std::string_view name;                   // valid only during the call that reports it
  NameOrigin origin = NameOrigin::Dns;
};

}  // namespace qv
