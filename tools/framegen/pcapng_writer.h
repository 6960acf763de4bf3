#pragma once
// Writes a little-endian pcapng file in its plainest form: a Section Header
// Block, one Interface Description Block (Ethernet, microsecond time stamps,
// the default resolution, so the block carries no options) and one Enhanced
// Packet Block without options per frame. Frames in that form are the ones a
// reader can leave in the file, so it compares with a classic savefile of the
// same frames.

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "framegen/frame_builder.h"

namespace qv::framegen {

class PcapngWriter {
 public:
  explicit PcapngWriter(const std::string& path, std::uint32_t snapshotLength = 65535, std::uint16_t linkType = 1)
      : file_(std::fopen(path.c_str(), "wb")) {
    if (file_ == nullptr) throw std::runtime_error("cannot create " + path);
    // Section Header Block: type, length, byte-order magic, version 1.0,
    // section length unknown (-1), length again.
    Put32(0x0A0D0D0A);
    Put32(28);
    Put32(0x1A2B3C4D);
    Put16(1);
    Put16(0);
    Put32(0xFFFFFFFF);
    Put32(0xFFFFFFFF);
    Put32(28);
    // Interface Description Block: link type, reserved, snapshot length.
    Put32(1);
    Put32(20);
    Put16(linkType);
    Put16(0);
    Put32(snapshotLength);
    Put32(20);
  }
  ~PcapngWriter() {
    if (file_ != nullptr) std::fclose(file_);
  }
  PcapngWriter(const PcapngWriter&) = delete;
  PcapngWriter& operator=(const PcapngWriter&) = delete;

  // `wireLength` 0 means the frame's own length.
  void Write(const Bytes& frame, std::uint32_t seconds, std::uint32_t microseconds, std::uint32_t wireLength = 0) {
    const auto captured = static_cast<std::uint32_t>(frame.size());
    const std::uint32_t padding = (4 - captured % 4) % 4;
    const std::uint32_t total = 32 + captured + padding;
    // The time stamp is one 64-bit count of microseconds, high word first.
    const std::uint64_t micros = static_cast<std::uint64_t>(seconds) * 1'000'000u + microseconds;
    Put32(6);
    Put32(total);
    Put32(0);  // interface 0
    Put32(static_cast<std::uint32_t>(micros >> 32));
    Put32(static_cast<std::uint32_t>(micros));
    Put32(captured);
    Put32(wireLength != 0 ? wireLength : captured);
    if (captured != 0) std::fwrite(frame.data(), 1, captured, file_);
    static constexpr std::uint8_t kZeros[3] = {0, 0, 0};
    if (padding != 0) std::fwrite(kZeros, 1, padding, file_);
    Put32(total);
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
