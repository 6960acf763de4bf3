#pragma once
// Builds Ethernet frames layer by layer for tests, the demo capture and the
// benchmark capture, and writes them as a libpcap savefile. Lengths and
// checksums (IPv4 total length and header checksum, UDP length, IEEE 802.3
// length, TCP and UDP checksums) are filled in by Build() unless a test pins
// them with the Raw* calls.

#include <array>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace qv::framegen {

using Bytes = std::vector<std::uint8_t>;
using Mac = std::array<std::uint8_t, 6>;
using Ip4 = std::array<std::uint8_t, 4>;

// "45 00 00 1c" or "4500001c" → bytes; blanks and newlines are ignored.
inline Bytes Hex(std::string_view text) {
  Bytes out;
  int nibble = -1;
  for (char c : text) {
    int v;
    if (c >= '0' && c <= '9') {
      v = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      v = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      v = c - 'A' + 10;
    } else if (c == ' ' || c == '\n' || c == '\t' || c == ':' || c == '.') {
      continue;
    } else {
      throw std::invalid_argument("bad hex digit");
    }
    if (nibble < 0) {
      nibble = v;
    } else {
      out.push_back(static_cast<std::uint8_t>(nibble << 4 | v));
      nibble = -1;
    }
  }
  if (nibble >= 0) throw std::invalid_argument("odd number of hex digits");
  return out;
}

inline constexpr Mac kBroadcast{0xff, 0xff, 0xff, 0xff, 0xff, 0xff};

class FrameBuilder {
 public:
  FrameBuilder& Ethernet(const Mac& dst, const Mac& src, std::uint16_t type) {
    Put(dst);
    Put(src);
    Put16(type);
    return *this;
  }
  // IEEE 802.3 framing: the length field is filled in by Build().
  FrameBuilder& Ieee8023(const Mac& dst, const Mac& src) {
    Put(dst);
    Put(src);
    lengthField_ = bytes_.size();
    Put16(0);
    return *this;
  }
  FrameBuilder& Llc(std::uint8_t dsap, std::uint8_t ssap, std::uint8_t control) {
    bytes_.insert(bytes_.end(), {dsap, ssap, control});
    return *this;
  }
  FrameBuilder& Snap(std::uint32_t organization, std::uint16_t type) {
    bytes_.insert(bytes_.end(), {static_cast<std::uint8_t>(organization >> 16),
                                 static_cast<std::uint8_t>(organization >> 8), static_cast<std::uint8_t>(organization)});
    Put16(type);
    return *this;
  }
  // An IPv4 header; total length and checksum are filled in by Build().
  FrameBuilder& Ipv4(const Ip4& src, const Ip4& dst, std::uint8_t protocol, const Bytes& options = {},
                     std::uint8_t tos = 0, std::uint16_t id = 0x1234, std::uint16_t flagsFragment = 0x4000,
                     std::uint8_t ttl = 64) {
    if (options.size() % 4 != 0 || options.size() > 40) throw std::invalid_argument("IPv4 options: 4-byte multiple");
    ip_.push_back(bytes_.size());
    bytes_.push_back(static_cast<std::uint8_t>(0x40 | (5 + options.size() / 4)));
    bytes_.push_back(tos);
    Put16(0);
    Put16(id);
    Put16(flagsFragment);
    bytes_.push_back(ttl);
    bytes_.push_back(protocol);
    Put16(0);
    Put(src);
    Put(dst);
    Put(options);
    return *this;
  }
  FrameBuilder& Ipv6(std::uint8_t nextHeader) {
    bytes_.insert(bytes_.end(), {0x60, 0, 0, 0, 0, 0, nextHeader, 64});
    for (int i = 0; i < 32; ++i) bytes_.push_back(static_cast<std::uint8_t>(i == 15 || i == 31 ? 1 : 0));
    return *this;
  }
  FrameBuilder& Tcp(std::uint16_t srcPort, std::uint16_t dstPort, std::uint32_t seq, std::uint32_t ack,
                    std::uint8_t flags, const Bytes& options = {}, std::uint16_t window = 65535) {
    if (options.size() % 4 != 0 || options.size() > 40) throw std::invalid_argument("TCP options: 4-byte multiple");
    tcp_ = bytes_.size();
    Put16(srcPort);
    Put16(dstPort);
    Put32(seq);
    Put32(ack);
    bytes_.push_back(static_cast<std::uint8_t>((5 + options.size() / 4) << 4));
    bytes_.push_back(flags);
    Put16(window);
    Put16(0);
    Put16(0);
    Put(options);
    return *this;
  }
  FrameBuilder& Udp(std::uint16_t srcPort, std::uint16_t dstPort) {
    udp_ = bytes_.size();
    Put16(srcPort);
    Put16(dstPort);
    Put16(0);
    Put16(0);
    return *this;
  }
  FrameBuilder& Arp(std::uint16_t operation, const Mac& senderMac, const Ip4& senderIp, const Mac& targetMac,
                    const Ip4& targetIp) {
    Put16(1);
    Put16(0x0800);
    bytes_.push_back(6);
    bytes_.push_back(4);
    Put16(operation);
    Put(senderMac);
    Put(senderIp);
    Put(targetMac);
    Put(targetIp);
    return *this;
  }
  FrameBuilder& Raw(const Bytes& b) {
    Put(b);
    return *this;
  }
  FrameBuilder& Text(std::string_view s) {
    bytes_.insert(bytes_.end(), s.begin(), s.end());
    return *this;
  }
  FrameBuilder& Zeros(std::size_t n) {
    bytes_.insert(bytes_.end(), n, 0);
    return *this;
  }
  // Ethernet's minimum frame (without FCS) is 60 bytes.
  FrameBuilder& PadTo(std::size_t size) {
    if (bytes_.size() < size) pad_ = size - bytes_.size();
    return *this;
  }

  Bytes Build() const {
    Bytes b = bytes_;
    const std::size_t payloadEnd = b.size();
    if (udp_) {
      const std::size_t len = payloadEnd - *udp_;
      Set16(b, *udp_ + 4, static_cast<std::uint16_t>(len));
    }
    // Innermost header first: its total length is part of the outer payload.
    for (auto it = ip_.rbegin(); it != ip_.rend(); ++it) {
      const std::size_t h = *it;
      Set16(b, h + 2, static_cast<std::uint16_t>(payloadEnd - h));
      const std::size_t hl = static_cast<std::size_t>(b[h] & 0x0F) * 4;
      Set16(b, h + 10, Checksum(b, h, hl, 0));
    }
    if (!ip_.empty() && (udp_ || tcp_)) {
      const std::size_t t = udp_ ? *udp_ : *tcp_;
      const std::size_t h = ip_.back();
      const std::size_t len = payloadEnd - t;
      std::uint32_t pseudo = 0;
      for (int i = 0; i < 8; i += 2) pseudo += static_cast<std::uint32_t>(b[h + 12 + i] << 8 | b[h + 13 + i]);
      pseudo += b[h + 9];
      pseudo += static_cast<std::uint32_t>(len);
      Set16(b, t + (udp_ ? 6 : 16), Checksum(b, t, len, pseudo));
    }
    b.insert(b.end(), pad_, 0);
    if (lengthField_) Set16(b, *lengthField_, static_cast<std::uint16_t>(payloadEnd - *lengthField_ - 2));
    return b;
  }

 private:
  void Put(std::span<const std::uint8_t> v) { bytes_.insert(bytes_.end(), v.begin(), v.end()); }
  void Put16(std::uint16_t v) { bytes_.insert(bytes_.end(), {static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)}); }
  void Put32(std::uint32_t v) {
    Put16(static_cast<std::uint16_t>(v >> 16));
    Put16(static_cast<std::uint16_t>(v));
  }
  static void Set16(Bytes& b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v >> 8);
    b[at + 1] = static_cast<std::uint8_t>(v);
  }
  static std::uint16_t Checksum(const Bytes& b, std::size_t at, std::size_t len, std::uint32_t sum) {
    for (std::size_t i = 0; i + 1 < len; i += 2) sum += static_cast<std::uint32_t>(b[at + i] << 8 | b[at + i + 1]);
    if (len % 2 != 0) sum += static_cast<std::uint32_t>(b[at + len - 1] << 8);
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum);
  }

  Bytes bytes_;
  std::vector<std::size_t> ip_;
  std::optional<std::size_t> udp_;
  std::optional<std::size_t> tcp_;
  std::optional<std::size_t> lengthField_;
  std::size_t pad_ = 0;
};

// Writes a classic little-endian pcap savefile, records in the order given.
class PcapWriter {
 public:
  explicit PcapWriter(const std::string& path, std::uint32_t snapshotLength = 65535, std::uint32_t linkType = 1)
      : file_(std::fopen(path.c_str(), "wb")) {
    if (file_ == nullptr) throw std::runtime_error("cannot create " + path);
    Put32(0xa1b2c3d4);
    Put16(2);
    Put16(4);
    Put32(0);
    Put32(0);
    Put32(snapshotLength);
    Put32(linkType);
  }
  ~PcapWriter() {
    if (file_ != nullptr) std::fclose(file_);
  }
  PcapWriter(const PcapWriter&) = delete;
  PcapWriter& operator=(const PcapWriter&) = delete;

  // `wireLength` 0 means the frame's own length.
  void Write(const Bytes& frame, std::uint32_t seconds, std::uint32_t microseconds, std::uint32_t wireLength = 0) {
    Put32(seconds);
    Put32(microseconds);
    Put32(static_cast<std::uint32_t>(frame.size()));
    Put32(wireLength != 0 ? wireLength : static_cast<std::uint32_t>(frame.size()));
    if (!frame.empty()) std::fwrite(frame.data(), 1, frame.size(), file_);
  }

 private:
  void Put32(std::uint32_t v) {
    const std::uint8_t b[4] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                               static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
    std::fwrite(b, 1, 4, file_);
  }
  void Put16(std::uint16_t v) {
    const std::uint8_t b[2] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)};
    std::fwrite(b, 1, 2, file_);
  }
  std::FILE* file_;
};

}  // namespace qv::framegen
