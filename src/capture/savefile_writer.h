#pragma once
// Writes the packet buffer as a libpcap savefile: the classic 24-byte header
// (magic 0xa1b2c3d4, version 2.4, link type 1, Ethernet) and then every
// record newest first, each with a 16-byte little-endian record header.

#include <string>

#include "capture/packet_buffer.h"

namespace qv {

// The snapshot length declared in a saved file: 1514 when every record fits
// in an Ethernet frame, otherwise the longest captured record, so that no
// reader cuts a record short.
std::uint32_t SavedSnapshotLength(std::uint32_t longestRecord);

// Writes the file next to `path` and renames it into place, so a failed save
// leaves an existing file untouched. Returns an empty text on success, else
// the reason.
std::string WriteSavefile(const std::string& path, const PacketBuffer& buffer);

}  // namespace qv
