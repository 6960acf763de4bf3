#include "capture/savefile_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "capture/frame_file.h"

namespace qv {

namespace {

constexpr std::uint32_t kEthernetSnapshotLength = 1514;

void PutLe32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void PutLe16(std::vector<std::uint8_t>& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

// Classic savefile: one link type for the whole file.
void ClassicHeader(std::vector<std::uint8_t>& out, std::uint32_t snapshotLength, int linkType) {
  PutLe32(out, 0xa1b2c3d4);
  PutLe16(out, 2);
  PutLe16(out, 4);
  PutLe32(out, 0);  // time zone offset
  PutLe32(out, 0);  // time stamp accuracy
  PutLe32(out, snapshotLength);
  PutLe32(out, static_cast<std::uint32_t>(linkType));
}

void ClassicRecord(std::vector<std::uint8_t>& out, const PacketRecord& r) {
  PutLe32(out, r.seconds);
  PutLe32(out, r.microseconds);
  PutLe32(out, r.capturedLength);
  PutLe32(out, r.wireLength);
  out.insert(out.end(), r.bytes.begin(), r.bytes.end());
}

// pcapng: a section header, one interface description per link type (the
// file's interface number is the link type's place in `linkTypes`), and an
// enhanced packet block per record. Time stamps are in microseconds, the
// interfaces' default resolution.
void PcapngHeader(std::vector<std::uint8_t>& out, std::uint32_t snapshotLength, const std::vector<int>& linkTypes) {
  PutLe32(out, 0x0A0D0D0A);  // section header block
  PutLe32(out, 28);
  PutLe32(out, 0x1A2B3C4D);  // byte-order magic
  PutLe16(out, 1);
  PutLe16(out, 0);
  PutLe32(out, 0xFFFFFFFF);  // section length: not given
  PutLe32(out, 0xFFFFFFFF);
  PutLe32(out, 28);
  for (const int linkType : linkTypes) {
    PutLe32(out, 1);  // interface description block
    PutLe32(out, 20);
    PutLe16(out, static_cast<std::uint16_t>(linkType));
    PutLe16(out, 0);
    PutLe32(out, snapshotLength);
    PutLe32(out, 20);
  }
}

void PcapngRecord(std::vector<std::uint8_t>& out, const PacketRecord& r, std::uint32_t interface) {
  const std::uint32_t padded = (r.capturedLength + 3u) & ~3u;
  const std::uint32_t total = 32 + padded;
  const std::uint64_t stamp = static_cast<std::uint64_t>(r.seconds) * 1000000u + r.microseconds;
  PutLe32(out, 6);  // enhanced packet block
  PutLe32(out, total);
  PutLe32(out, interface);
  PutLe32(out, static_cast<std::uint32_t>(stamp >> 32));
  PutLe32(out, static_cast<std::uint32_t>(stamp));
  PutLe32(out, r.capturedLength);
  PutLe32(out, r.wireLength);
  out.insert(out.end(), r.bytes.begin(), r.bytes.end());
  out.insert(out.end(), padded - r.capturedLength, 0);
  PutLe32(out, total);
}

}  // namespace

std::uint32_t SavedSnapshotLength(std::uint32_t longestRecord) {
  return longestRecord > kEthernetSnapshotLength ? longestRecord : kEthernetSnapshotLength;
}

std::string WriteSavefile(const std::string& path, const PacketBuffer& buffer) {
  return WriteSavefile(path, buffer, nullptr);
}

std::string WriteSavefile(const std::string& path, const PacketBuffer& buffer,
                          const std::function<bool(const PacketRecord&)>& keep) {
  std::uint32_t longest = buffer.MaxCapturedLength();
  std::vector<int> linkTypes = buffer.LinkTypes();
  if (keep) {
    // What the kept records alone need.
    longest = 0;
    linkTypes.clear();
    buffer.ForEachNewestFirst([&](const PacketRecord& r) {
      if (!keep(r)) return;
      longest = std::max(longest, r.capturedLength);
      // Ends up last-seen last, which walking newest first is the oldest.
      linkTypes.erase(std::remove(linkTypes.begin(), linkTypes.end(), r.linkType), linkTypes.end());
      linkTypes.push_back(r.linkType);
    });
    // In the order the buffer first holds them, as for a whole buffer.
    std::reverse(linkTypes.begin(), linkTypes.end());
  }
  const std::string temporary = path + ".part";
  std::FILE* f = std::fopen(temporary.c_str(), "wb");
  if (f == nullptr) return std::strerror(errno);

  std::vector<std::uint8_t> out;
  out.reserve(1 << 16);
  const std::uint32_t snapshotLength = SavedSnapshotLength(longest);
  if (linkTypes.empty()) linkTypes.push_back(1);  // an empty buffer saves as Ethernet
  const bool mixed = linkTypes.size() > 1;
  if (mixed) {
    PcapngHeader(out, snapshotLength, linkTypes);
  } else {
    ClassicHeader(out, snapshotLength, linkTypes.front());
  }

  bool ok = true;
  auto flush = [&] {
    if (!out.empty() && std::fwrite(out.data(), 1, out.size(), f) != out.size()) ok = false;
    out.clear();
  };
  // A frame whose file changed since it was read cannot be saved: the file
  // would lack it, so nothing is written.
  std::string unreadable;
  buffer.ForEachNewestFirst([&](const PacketRecord& r) {
    if (keep && !keep(r)) return;
    if (r.unreadable || !unreadable.empty()) {
      if (unreadable.empty()) unreadable = r.file ? FileChangedText(r.file->Path()) : "A packet could not be read.";
      return;
    }
    if (mixed) {
      const auto at = std::find(linkTypes.begin(), linkTypes.end(), r.linkType);
      PcapngRecord(out, r, static_cast<std::uint32_t>(at - linkTypes.begin()));
    } else {
      ClassicRecord(out, r);
    }
    if (out.size() >= (1u << 16)) flush();
  });
  flush();
  const int savedErrno = errno;
  if (std::fclose(f) != 0) ok = false;
  if (!unreadable.empty()) {
    std::remove(temporary.c_str());
    return unreadable;
  }
  if (!ok) {
    std::remove(temporary.c_str());
    return std::strerror(savedErrno != 0 ? savedErrno : EIO);
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    const std::string why = std::strerror(errno);
    std::remove(temporary.c_str());
    return why;
  }
  return {};
}

}  // namespace qv
