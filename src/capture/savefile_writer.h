#pragma once
// Writes the packet buffer as a capture file, every record newest first, as
// pcap or pcapng:
//  - pcap: magic 0xa1b2c3d4 (0xa1b23c4d when a record's time stamp has
//    nanoseconds), version 2.4, one link type, 16-byte little-endian record
//    headers;
//  - pcapng: a section header naming the program, one interface
//    description for each link type and source of the records written (with
//    its name), an Enhanced Packet Block per record with its comment, and an
//    Interface Statistics Block with the drop counts of a live capture.
// libpcap and the other sniffers read both.

#include <functional>
#include <optional>
#include <string>

#include "capture/drop_counts.h"
#include "capture/packet_buffer.h"

namespace qv {

enum class SaveFormat { Automatic, Pcap, Pcapng };

struct SaveOptions {
  // Automatic: pcapng when the records hold several link types or any
  // comment, pcap otherwise.
  SaveFormat format = SaveFormat::Automatic;
  bool gzip = false;  // the file is written gzip-compressed
  // Drop counts to write with the frames (pcapng only); none for a file read.
  std::optional<DropCounts> drops;
  // Only the records `keep` accepts (a display filter's choice); null: all.
  std::function<bool(const PacketRecord&)> keep;
};

// The format a path's name asks for: ".pcapng" (or ".ntar"), ".pcap" (also
// under a ".gz"), otherwise Automatic.
SaveFormat SaveFormatForName(const std::string& path);
// Whether a path ends in ".gz".
bool NameAsksForGzip(const std::string& path);

// The snapshot length declared in a saved file: 1514 when every record fits
// in an Ethernet frame, otherwise the longest captured record, so that no
// reader cuts a record short.
std::uint32_t SavedSnapshotLength(std::uint32_t longestRecord);

// Writes the file next to `path` and renames it into place, so a failed save
// leaves an existing file untouched. Returns an empty text on success, else
// the reason.
std::string WriteSavefile(const std::string& path, const PacketBuffer& buffer, const SaveOptions& options = {});
// Only the records `keep` accepts, in the automatic format.
std::string WriteSavefile(const std::string& path, const PacketBuffer& buffer,
                          const std::function<bool(const PacketRecord&)>& keep);

}  // namespace qv
