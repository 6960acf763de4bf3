#pragma once
// An IPv4 or IPv6 address as one small value: the family and 16 bytes in
// network order (an IPv4 address in the first four, the rest zero). The
// conversation table, its name requests and the host-name service hold
// addresses of both families in it.

#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace qv {

using Ipv4Address = std::array<std::uint8_t, 4>;   // network order
using Ipv6Address = std::array<std::uint8_t, 16>;  // network order

struct IpAddress {
  // The family is compared first, so every IPv4 address orders before every
  // IPv6 address; within a family the bytes order as the number does.
  enum class Family : std::uint8_t { V4 = 4, V6 = 6 };

  Family family = Family::V4;
  Ipv6Address bytes{};

  static IpAddress V4(const Ipv4Address& a) {
    IpAddress out;
    std::memcpy(out.bytes.data(), a.data(), a.size());
    return out;
  }
  static IpAddress V6(const Ipv6Address& a) {
    IpAddress out;
    out.family = Family::V6;
    out.bytes = a;
    return out;
  }

  bool IsV6() const { return family == Family::V6; }
  // 4 or 16: how many of `bytes` belong to the address.
  std::size_t Size() const { return IsV6() ? 16 : 4; }
  // 127.0.0.0/8 or ::1.
  bool IsLoopback() const;

  // Dotted decimal, or RFC 5952 text for IPv6.
  void AppendText(std::string& out) const;
  std::string Text() const;

  friend bool operator==(const IpAddress&, const IpAddress&) = default;
  friend std::strong_ordering operator<=>(const IpAddress&, const IpAddress&) = default;
};

struct IpAddressHash {
  std::size_t operator()(const IpAddress& a) const noexcept;
};

// Mixes 16 address bytes into 64 bits (for hash keys; cheap, no allocation).
std::uint64_t HashAddressBytes(const std::uint8_t* bytes, std::uint64_t seed);

}  // namespace qv
