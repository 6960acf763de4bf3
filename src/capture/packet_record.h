#pragma once
// One captured frame as the packet buffer holds it.

#include <cstdint>
#include <span>

namespace qv {

struct PacketRecord {
  std::uint32_t capturedLength = 0;  // bytes held
  std::uint32_t number = 0;          // the session's running packet number
  std::span<const std::uint8_t> bytes;  // exactly capturedLength bytes, from the link-layer header
  std::uint32_t wireLength = 0;      // length on the wire
  std::uint32_t seconds = 0;         // since 1970-01-01 UTC
  std::uint32_t microseconds = 0;    // 0..999999
  int linkType = 1;                  // the capture library's link type of the run that read it (1 Ethernet)
};

// What the capture library says of a frame, before it is buffered.
struct FrameHeader {
  std::uint32_t seconds = 0;
  std::uint32_t microseconds = 0;
  std::uint32_t capturedLength = 0;
  std::uint32_t wireLength = 0;
};

}  // namespace qv
