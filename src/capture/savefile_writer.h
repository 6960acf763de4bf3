#pragma once
// Writes the packet buffer as a libpcap savefile, every record newest first.
// A buffer of one link type becomes a classic savefile (magic 0xa1b2c3d4,
// version 2.4, that link type; 16-byte little-endian record headers). A
// buffer that mixes link types, after opening files of different kinds,
// becomes a pcapng file with one interface per link type, so that every
// frame keeps its own; libpcap and the other sniffers read both.

#include <functional>
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
// Only the records `keep` accepts (a display filter's choice); the link
// types and the snapshot length are those of the records written.
std::string WriteSavefile(const std::string& path, const PacketBuffer& buffer,
                          const std::function<bool(const PacketRecord&)>& keep);

}  // namespace qv
