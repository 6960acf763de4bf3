#include "capture/savefile_writer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

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

}  // namespace

std::uint32_t SavedSnapshotLength(std::uint32_t longestRecord) {
  return longestRecord > kEthernetSnapshotLength ? longestRecord : kEthernetSnapshotLength;
}

std::string WriteSavefile(const std::string& path, const PacketBuffer& buffer) {
  const std::string temporary = path + ".part";
  std::FILE* f = std::fopen(temporary.c_str(), "wb");
  if (f == nullptr) return std::strerror(errno);

  std::vector<std::uint8_t> out;
  out.reserve(1 << 16);
  PutLe32(out, 0xa1b2c3d4);
  PutLe16(out, 2);
  PutLe16(out, 4);
  PutLe32(out, 0);  // time zone offset
  PutLe32(out, 0);  // time stamp accuracy
  PutLe32(out, SavedSnapshotLength(buffer.MaxCapturedLength()));
  PutLe32(out, 1);  // Ethernet

  bool ok = true;
  auto flush = [&] {
    if (!out.empty() && std::fwrite(out.data(), 1, out.size(), f) != out.size()) ok = false;
    out.clear();
  };
  buffer.ForEachNewestFirst([&](const PacketRecord& r) {
    PutLe32(out, r.seconds);
    PutLe32(out, r.microseconds);
    PutLe32(out, r.capturedLength);
    PutLe32(out, r.wireLength);
    out.insert(out.end(), r.bytes.begin(), r.bytes.end());
    if (out.size() >= (1u << 16)) flush();
  });
  flush();
  const int savedErrno = errno;
  if (std::fclose(f) != 0) ok = false;
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
