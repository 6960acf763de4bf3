#pragma once
// What one TCP or UDP frame contributes to the conversation statistics: the
// addresses and length from the IP header, the ports from the transport
// header. An IPv4 pair is in `source` and `destination`, an IPv6 pair in
// `source6` and `destination6`.

#include <array>
#include <cstdint>

namespace qv {

struct IpConversationSample {
  std::array<std::uint8_t, 4> source{};       // network order
  std::array<std::uint8_t, 4> destination{};  // network order
  std::uint64_t totalLength = 0;              // IPv4's Total Length; for IPv6 the payload length plus 40
  std::uint16_t destinationPort = 0;
  std::uint16_t sourcePort = 0;
  bool ipv6 = false;
  std::array<std::uint8_t, 16> source6{};       // network order
  std::array<std::uint8_t, 16> destination6{};  // network order
};

}  // namespace qv
