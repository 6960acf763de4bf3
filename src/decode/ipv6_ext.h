#pragma once
#include <cstdint>

#include "decode/packet_decoder.h"

namespace qv {

// The IPv6 extension headers: hop-by-hop and destination options, routing,
// fragment and AH, walked in chain by the IPv6 decoder; ESP, which ends the
// chain with a layer of its own.

// How the walk of a header chain ended.
enum class Ipv6ChainEnd : std::uint8_t {
  Upper,    // at a header that is not an extension header: `next` names it
  Data,     // the rest is data: a later fragment, or after "no next header"
  Stopped,  // a header was not captured whole, or the chain was too long
};

struct Ipv6Chain {
  Ipv6ChainEnd end = Ipv6ChainEnd::Stopped;
  std::uint8_t next = 0;    // the protocol after the chain (Upper)
  std::uint32_t length = 0;  // bytes from the IPv6 header's start to where the walk ended
};

// Most extension headers one IPv6 header's chain may have; a longer chain
// ends with a line that says so.
inline constexpr int kMaxExtensionHeaders = 16;

// The name of a next-header value ("UDP", "Routing"); null for a value
// without one.
const char* Ipv6NextHeaderName(std::uint8_t value);

// "Next header: 17 (UDP)".
std::string Ipv6NextHeaderText(std::uint32_t value);

// Walks the extension headers after the fixed IPv6 header at `h`, whose next
// header is `next`. In tree mode each header becomes a line under `ipv6Line`.
// AH joins the protocol chain and the counters. The walk reads within the
// captured bytes only and ends, at the latest, after kMaxExtensionHeaders.
Ipv6Chain WalkIpv6ExtensionHeaders(PacketDecoder& d, NodeId ipv6Line, std::uint32_t h, std::uint8_t next);

// An ESP header (next header 50): SPI, sequence and the encrypted rest.
void DecodeEsp(PacketDecoder& d);

}  // namespace qv
