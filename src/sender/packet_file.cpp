#include "sender/packet_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <fstream>
#include <optional>
#include <string_view>
#include <vector>

namespace qv {

namespace {

constexpr std::size_t kMagicCompared = 8;
constexpr std::size_t kMaxFirstLine = 255;

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

std::string PacketFileContents(std::span<const std::uint8_t> frame) {
  std::string out = kPacketFileMagic;
  out += "\r\n";
  out += std::to_string(frame.size());
  out += "\r\n";
  out.append(reinterpret_cast<const char*>(frame.data()), frame.size());
  return out;
}

std::string SavePacketFile(const std::string& path, std::span<const std::uint8_t> frame) {
  const std::string contents = PacketFileContents(frame);
  std::string temp = path + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return kCannotCreateFileMessage;
  // mkstemp makes the file private; a saved packet gets the usual rights.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  struct stat old {};
  const mode_t mode = ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : (0666 & ~mask);
  bool ok = ::fchmod(fd, mode) == 0 && WriteAll(fd, contents.data(), contents.size()) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (!ok || ::rename(temp.c_str(), path.c_str()) != 0) {
    ::unlink(temp.c_str());
    return kCannotCreateFileMessage;
  }
  return {};
}

namespace {

// Where the frame bytes start and how many the file announces; none when the
// first two lines are not a packet file's. `head` is the file's beginning.
struct Header {
  std::size_t dataOffset = 0;
  std::uint64_t length = 0;
};
constexpr std::size_t kMaxHeader = kMaxFirstLine + 1 + 20 + 2;

std::optional<Header> ParseHeader(std::string_view head) {
  // The first line, within 255 characters.
  const std::size_t lineEnd = head.find('\n');
  const std::string_view magic(kPacketFileMagic);
  if (lineEnd == std::string_view::npos || lineEnd > kMaxFirstLine || lineEnd < kMagicCompared ||
      head.substr(0, kMagicCompared) != magic.substr(0, kMagicCompared)) {
    return std::nullopt;
  }
  // The length: decimal digits alone on their line (CR LF, or LF).
  std::size_t pos = lineEnd + 1;
  const std::size_t digitsStart = pos;
  Header h;
  while (pos < head.size() && head[pos] >= '0' && head[pos] <= '9') {
    if (pos - digitsStart >= 19) return std::nullopt;  // no file holds that many bytes
    h.length = h.length * 10 + static_cast<std::uint64_t>(head[pos] - '0');
    ++pos;
  }
  if (pos == digitsStart) return std::nullopt;
  if (pos < head.size() && head[pos] == '\r') ++pos;
  if (pos >= head.size() || head[pos] != '\n') return std::nullopt;
  h.dataOffset = pos + 1;
  return h;
}

}  // namespace

PacketFileLoad ParsePacketFile(std::span<const char> contents) {
  const std::string_view text(contents.data(), contents.size());
  PacketFileLoad out;
  const std::optional<Header> h = ParseHeader(text.substr(0, kMaxHeader));
  if (!h || h->length > text.size() - h->dataOffset) {
    out.error = kWrongFileMessage;
    return out;
  }
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data() + h->dataOffset);
  out.frame.assign(bytes, bytes + h->length);
  return out;
}

PacketFileLoad LoadPacketFile(const std::string& path) {
  PacketFileLoad out;
  std::ifstream in(path, std::ios::binary);
  struct stat info {};
  if (!in || ::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
    out.error = kCannotOpenFileMessage;
    return out;
  }
  const auto size = static_cast<std::uint64_t>(info.st_size);
  std::string head(static_cast<std::size_t>(std::min<std::uint64_t>(size, kMaxHeader)), '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<std::size_t>(in.gcount()));
  const std::optional<Header> h = ParseHeader(head);
  // The announced length must fit in the file before a byte is allocated.
  if (!h || h->dataOffset > size || h->length > size - h->dataOffset) {
    out.error = kWrongFileMessage;
    return out;
  }
  out.frame.resize(static_cast<std::size_t>(h->length));
  in.clear();
  in.seekg(static_cast<std::streamoff>(h->dataOffset));
  if (!out.frame.empty() &&
      !in.read(reinterpret_cast<char*>(out.frame.data()), static_cast<std::streamsize>(out.frame.size()))) {
    // The file shrank while it was read.
    out.frame.clear();
    out.error = kWrongFileMessage;
  }
  return out;
}

}  // namespace qv
