#pragma once
// Packet files (.spk): one frame, stored as
//   "QUORVANET VERSION 1" CR LF, the length in decimal CR LF, the bytes.

#include <cstdint>
#include <span>
#include <string>

#include "sender/frame_composer.h"

namespace qv {

inline constexpr const char* kPacketFileMagic = "QUORVANET VERSION 1";
inline constexpr const char* kCannotCreateFileMessage = "Couldn't create that file";
inline constexpr const char* kCannotOpenFileMessage = "Couldn't open that file";
inline constexpr const char* kWrongFileMessage = "Wrong file!";

// The file's bytes for one frame.
std::string PacketFileContents(std::span<const std::uint8_t> frame);

// Writes the frame through a temporary file beside `path` that then replaces
// it, so a failed save leaves the earlier file whole. Empty on success, else
// the message to show.
std::string SavePacketFile(const std::string& path, std::span<const std::uint8_t> frame);

struct PacketFileLoad {
  Frame frame;
  std::string error;  // empty: loaded
};

// Reads a packet file. A damaged file (another magic, a length that is not a
// number, a file shorter than its length) is refused with kWrongFileMessage;
// the length is checked against the file's size before anything is
// allocated. A frame longer than 1514 bytes is loaded as it is.
PacketFileLoad LoadPacketFile(const std::string& path);

// The same, over the contents of a file already in memory.
PacketFileLoad ParsePacketFile(std::span<const char> contents);

}  // namespace qv
