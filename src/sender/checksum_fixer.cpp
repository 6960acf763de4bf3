#include "sender/checksum_fixer.h"

#include <cstdio>

namespace qv {

namespace {

constexpr std::uint16_t kEtherTypeIpv4 = 0x0800;
constexpr std::uint16_t kEtherTypeVlan = 0x8100;
constexpr std::uint16_t kEtherTypeQinQ = 0x88A8;
constexpr std::uint8_t kProtoIcmp = 1;
constexpr std::uint8_t kProtoTcp = 6;
constexpr std::uint8_t kProtoUdp = 17;

std::uint16_t Be16(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] << 8 | b[at + 1]);
}
void PutBe16(std::span<std::uint8_t> b, std::size_t at, std::uint16_t v) {
  b[at] = static_cast<std::uint8_t>(v >> 8);
  b[at + 1] = static_cast<std::uint8_t>(v);
}

std::uint32_t Sum16(std::span<const std::uint8_t> data, std::uint32_t sum) {
  std::size_t i = 0;
  for (; i + 1 < data.size(); i += 2) sum += static_cast<std::uint32_t>(data[i] << 8 | data[i + 1]);
  if (i < data.size()) sum += static_cast<std::uint32_t>(data[i] << 8);
  return sum;
}

// Zeroes a checksum field, computes the sum over `covered` (which holds the
// field) plus `pseudo`, writes it and records it in the report.
void Recompute(ChecksumReport& report, const char* field, std::span<std::uint8_t> covered, std::size_t at,
               std::uint32_t pseudo, bool zeroMeansNone = false) {
  const std::uint16_t before = Be16(covered, at);
  PutBe16(covered, at, 0);
  std::uint16_t value = InternetChecksum(covered, pseudo);
  if (zeroMeansNone && value == 0) value = 0xFFFF;  // UDP sends a computed 0 as all ones
  PutBe16(covered, at, value);
  report.recomputed.emplace_back(field);
  if (before != value) report.changed.push_back({field, before, value});
}

const char* TransportName(std::uint8_t protocol) {
  switch (protocol) {
    case kProtoTcp: return "TCP";
    case kProtoUdp: return "UDP";
    case kProtoIcmp: return "ICMP";
    default: return nullptr;
  }
}

}  // namespace

std::uint16_t InternetChecksum(std::span<const std::uint8_t> data, std::uint32_t sum) {
  sum = Sum16(data, sum);
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint16_t>(~sum);
}

ChecksumReport FixChecksums(std::span<std::uint8_t> frame) {
  ChecksumReport report;
  std::size_t ip = 12;
  if (frame.size() < ip + 2) return report;
  std::uint16_t type = Be16(frame, ip);
  for (int tags = 0; tags < 2 && (type == kEtherTypeVlan || type == kEtherTypeQinQ); ++tags) {
    ip += 4;
    if (frame.size() < ip + 2) return report;
    type = Be16(frame, ip);
  }
  ip += 2;
  if (type != kEtherTypeIpv4 || frame.size() < ip + 20 || frame[ip] >> 4 != 4) return report;
  const std::size_t headerLength = static_cast<std::size_t>(frame[ip] & 0x0F) * 4;
  if (headerLength < 20 || frame.size() < ip + headerLength) return report;
  report.ipv4 = true;
  const std::span<std::uint8_t> header = frame.subspan(ip, headerLength);
  Recompute(report, "IPv4 header", header, 10, 0);

  const std::uint8_t protocol = header[9];
  const char* transport = TransportName(protocol);
  if (transport == nullptr) return report;
  // The transport checksum covers the whole datagram: only an unfragmented
  // one that was composed (or captured) in full can be summed.
  const std::size_t totalLength = Be16(header, 2);
  const bool fragment = (Be16(header, 6) & 0x3FFF) != 0;
  if (fragment || totalLength < headerLength || frame.size() < ip + totalLength) {
    report.skipped.emplace_back(transport);
    return report;
  }
  const std::span<std::uint8_t> payload = frame.subspan(ip + headerLength, totalLength - headerLength);
  auto pseudo = [&](std::size_t length) {
    std::uint32_t sum = Sum16(header.subspan(12, 8), 0);  // source and destination address
    return sum + protocol + static_cast<std::uint32_t>(length);
  };
  if (protocol == kProtoTcp && payload.size() >= 20) {
    Recompute(report, transport, payload, 16, pseudo(payload.size()));
  } else if (protocol == kProtoUdp && payload.size() >= 8 && Be16(payload, 4) >= 8 &&
             Be16(payload, 4) <= payload.size()) {
    const std::size_t udpLength = Be16(payload, 4);
    Recompute(report, transport, payload.first(udpLength), 6, pseudo(udpLength), true);
  } else if (protocol == kProtoIcmp && payload.size() >= 4) {
    Recompute(report, transport, payload, 2, 0);
  } else {
    report.skipped.emplace_back(transport);
  }
  return report;
}

std::string DescribeChecksumReport(const ChecksumReport& report) {
  if (!report.ipv4) return "No IPv4 header in this frame: nothing to fix.";
  std::string text;
  if (report.changed.empty()) {
    text = "Checksums already right:";
    for (const std::string& f : report.recomputed) text += " " + f + ",";
    text.pop_back();
  } else {
    text = "Fixed:";
    for (const ChecksumChange& c : report.changed) {
      char part[96];
      std::snprintf(part, sizeof part, " %s 0x%04x -> 0x%04x,", c.field.c_str(), c.before, c.after);
      text += part;
    }
    text.pop_back();
  }
  if (!report.skipped.empty()) {
    text += ". Not computed (fragment or incomplete):";
    for (const std::string& f : report.skipped) text += " " + f;
  }
  return text;
}

}  // namespace qv
