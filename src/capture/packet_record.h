#pragma once
// One captured frame as the packet buffer holds it.

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace qv {

class FrameFile;

struct PacketRecord {
  std::uint32_t capturedLength = 0;  // bytes held
  std::uint32_t number = 0;          // the session's running packet number
  std::span<const std::uint8_t> bytes;  // exactly capturedLength bytes, from the link-layer header
  std::uint32_t wireLength = 0;      // length on the wire
  std::uint32_t seconds = 0;         // since 1970-01-01 UTC
  std::uint32_t microseconds = 0;    // 0..999999
  std::uint16_t extraNanoseconds = 0;  // 0..999: the nanoseconds past `microseconds`, where the source kept them
  int linkType = 1;                  // the capture library's link type of the run that read it (1 Ethernet)
  // A frame left in its savefile: the file, and what holds `bytes` as read
  // back from it (both null for a frame held in memory). When the file has
  // changed since it was read, `unreadable` is set and `bytes` is empty.
  std::shared_ptr<FrameFile> file;
  std::shared_ptr<const void> holder;
  bool unreadable = false;
  std::uint32_t interface = 0;  // the buffer's interface it came from (PacketBuffer::InterfaceAt)
  std::string comment;          // the user's or the file's comment on the frame; empty: none
};

// What the capture library says of a frame, before it is buffered.
struct FrameHeader {
  std::uint32_t seconds = 0;
  std::uint32_t microseconds = 0;
  std::uint32_t capturedLength = 0;
  std::uint32_t wireLength = 0;
  std::uint16_t extraNanoseconds = 0;  // as in PacketRecord
};

// The fraction of the second of a record or a header, in nanoseconds.
template <typename Timed>
std::uint32_t NanosecondsOf(const Timed& t) {
  return t.microseconds * 1000u + t.extraNanoseconds;
}

}  // namespace qv
