#pragma once
// Builds capture files byte by byte for reader tests: pcap in its variants
// and pcapng blocks, in either byte order, damaged on purpose where a test
// wants it.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace qv::testing {

class CaptureBytes {
 public:
  explicit CaptureBytes(bool bigEndian = false) : big_(bigEndian) {}

  CaptureBytes& U8(std::uint8_t v) {
    bytes_.push_back(v);
    return *this;
  }
  CaptureBytes& U16(std::uint16_t v) { return Put(v, 2); }
  CaptureBytes& U32(std::uint32_t v) { return Put(v, 4); }
  CaptureBytes& U64(std::uint64_t v) { return Put(v, 8); }
  CaptureBytes& Raw(const std::vector<std::uint8_t>& v) {
    bytes_.insert(bytes_.end(), v.begin(), v.end());
    return *this;
  }
  CaptureBytes& Pad4() {
    while (bytes_.size() % 4 != 0) bytes_.push_back(0);
    return *this;
  }
  CaptureBytes& Append(const CaptureBytes& other) { return Raw(other.bytes_); }
  std::size_t Size() const { return bytes_.size(); }
  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
  bool BigEndian() const { return big_; }

 private:
  CaptureBytes& Put(std::uint64_t v, int width) {
    for (int i = 0; i < width; ++i) {
      const int shift = big_ ? 8 * (width - 1 - i) : 8 * i;
      bytes_.push_back(static_cast<std::uint8_t>(v >> shift));
    }
    return *this;
  }
  bool big_;
  std::vector<std::uint8_t> bytes_;
};

// --- pcap ---

struct PcapRecordSpec {
  std::uint32_t seconds = 1700000000;
  std::uint32_t fraction = 0;  // microseconds or nanoseconds, by the file's magic
  std::vector<std::uint8_t> bytes;
  std::uint32_t wireLength = 0;  // 0: the captured length
  std::uint32_t capturedLength = 0xFFFFFFFF;  // as written; default: bytes.size()
};

inline CaptureBytes PcapFile(bool bigEndian, std::uint32_t magic, std::uint32_t snapshot, std::uint32_t linkType,
                             const std::vector<PcapRecordSpec>& records) {
  CaptureBytes out(bigEndian);
  out.U32(magic).U16(2).U16(4).U32(0).U32(0).U32(snapshot).U32(linkType);
  const bool modified = magic == 0xA1B2CD34;
  for (const PcapRecordSpec& r : records) {
    const auto captured = r.capturedLength != 0xFFFFFFFF ? r.capturedLength : static_cast<std::uint32_t>(r.bytes.size());
    out.U32(r.seconds).U32(r.fraction).U32(captured).U32(r.wireLength != 0 ? r.wireLength : captured);
    if (modified) out.U32(3).U16(0x0800).U8(0).U8(0);  // interface index, protocol, packet type, padding
    out.Raw(r.bytes);
  }
  return out;
}

// --- pcapng ---

struct Option {
  std::uint16_t code;
  std::vector<std::uint8_t> value;
};

inline Option TextOption(std::uint16_t code, const std::string& text) {
  return {code, std::vector<std::uint8_t>(text.begin(), text.end())};
}

inline Option U64Option(std::uint16_t code, std::uint64_t v, bool bigEndian) {
  CaptureBytes b(bigEndian);
  b.U64(v);
  return {code, b.Bytes()};
}

// A block of `type` with `body` and options; the length at both ends.
inline CaptureBytes Block(bool bigEndian, std::uint32_t type, const CaptureBytes& body,
                          const std::vector<Option>& options = {}) {
  CaptureBytes inner(bigEndian);
  inner.Append(body).Pad4();
  for (const Option& o : options) inner.U16(o.code).U16(static_cast<std::uint16_t>(o.value.size())).Raw(o.value).Pad4();
  if (!options.empty()) inner.U32(0);
  const auto total = static_cast<std::uint32_t>(inner.Size() + 12);
  CaptureBytes out(bigEndian);
  out.U32(type).U32(total).Append(inner).U32(total);
  return out;
}

inline CaptureBytes SectionHeader(bool bigEndian, const std::vector<Option>& options = {}) {
  CaptureBytes body(bigEndian);
  body.U32(0x1A2B3C4D).U16(1).U16(0).U64(~std::uint64_t{0});
  return Block(bigEndian, 0x0A0D0D0A, body, options);
}

inline CaptureBytes InterfaceDescription(bool bigEndian, std::uint16_t linkType, std::uint32_t snapshot,
                                         const std::vector<Option>& options = {}) {
  CaptureBytes body(bigEndian);
  body.U16(linkType).U16(0).U32(snapshot);
  return Block(bigEndian, 1, body, options);
}

inline CaptureBytes EnhancedPacket(bool bigEndian, std::uint32_t interface, std::uint64_t stamp,
                                   const std::vector<std::uint8_t>& frame, const std::vector<Option>& options = {},
                                   std::uint32_t wireLength = 0) {
  CaptureBytes body(bigEndian);
  body.U32(interface).U32(static_cast<std::uint32_t>(stamp >> 32)).U32(static_cast<std::uint32_t>(stamp));
  body.U32(static_cast<std::uint32_t>(frame.size()))
      .U32(wireLength != 0 ? wireLength : static_cast<std::uint32_t>(frame.size()))
      .Raw(frame);
  return Block(bigEndian, 6, body, options);
}

inline CaptureBytes ObsoletePacket(bool bigEndian, std::uint16_t interface, std::uint64_t stamp,
                                   const std::vector<std::uint8_t>& frame) {
  CaptureBytes body(bigEndian);
  body.U16(interface).U16(0).U32(static_cast<std::uint32_t>(stamp >> 32)).U32(static_cast<std::uint32_t>(stamp));
  body.U32(static_cast<std::uint32_t>(frame.size())).U32(static_cast<std::uint32_t>(frame.size())).Raw(frame);
  return Block(bigEndian, 2, body);
}

inline CaptureBytes SimplePacket(bool bigEndian, const std::vector<std::uint8_t>& frame, std::uint32_t wireLength = 0) {
  CaptureBytes body(bigEndian);
  body.U32(wireLength != 0 ? wireLength : static_cast<std::uint32_t>(frame.size())).Raw(frame);
  return Block(bigEndian, 3, body);
}

}  // namespace qv::testing
