#pragma once
// "Fix checksums": recomputes the IPv4 header checksum and the TCP, UDP and
// ICMP checksums of an IPv4 frame as it stands, and reports which ones it
// changed. Nothing else in the frame is touched, and nothing is recomputed
// unless asked: a frame with a deliberately wrong checksum stays possible.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace qv {

struct ChecksumChange {
  std::string field;  // "IPv4 header", "TCP", "UDP", "ICMP"
  std::uint16_t before = 0;
  std::uint16_t after = 0;
};

struct ChecksumReport {
  bool ipv4 = false;                    // the frame holds an IPv4 header
  std::vector<std::string> recomputed;  // every checksum that was computed
  std::vector<ChecksumChange> changed;  // those whose value changed
  std::vector<std::string> skipped;     // present but not computable (fragment, truncated)
};

// The Internet checksum (RFC 1071) of `data`, starting from `sum`.
std::uint16_t InternetChecksum(std::span<const std::uint8_t> data, std::uint32_t sum = 0);

// Ethernet II (with up to two VLAN tags) carrying IPv4.
ChecksumReport FixChecksums(std::span<std::uint8_t> frame);

// One line for the Send page: "Fixed: IPv4 header 0x1234 -> 0x5678, ..." or
// what was found right or could not be done.
std::string DescribeChecksumReport(const ChecksumReport& report);

}  // namespace qv
