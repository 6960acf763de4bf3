#pragma once
// What one TCP or UDP frame over IPv4 contributes to the conversation
// statistics: the addresses and total length from the IPv4 header, the ports
// from the transport header.

#include <array>
#include <cstdint>
#include <string>

namespace qv {

struct IpConversationSample {
  std::array<std::uint8_t, 4> source{};       // network order
  std::array<std::uint8_t, 4> destination{};  // network order
  std::uint64_t totalLength = 0;              // the IPv4 header's Total Length
  std::string destinationPort;                // "%u"
  std::string sourcePort;                     // "%u"
};

}  // namespace qv
