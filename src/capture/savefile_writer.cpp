#include "capture/savefile_writer.h"

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "capture/frame_file.h"
#include "capture/link_type_numbers.h"

namespace qv {

namespace {

constexpr std::uint32_t kEthernetSnapshotLength = 1514;
constexpr const char* kProgram = "Quorvanet " QUORVANET_CAPTURE_VERSION;

void PutLe32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void PutLe16(std::vector<std::uint8_t>& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void PutLe64(std::vector<std::uint8_t>& out, std::uint64_t v) {
  PutLe32(out, static_cast<std::uint32_t>(v));
  PutLe32(out, static_cast<std::uint32_t>(v >> 32));
}

// What the file holds, gathered before it is written.
struct Contents {
  std::uint32_t longest = 0;
  std::vector<std::uint32_t> interfaces;  // the buffer's, in the order the records first use them
  std::vector<PacketBuffer::Interface> described;  // what each of them is
  std::vector<int> linkTypes;
  bool comments = false;
  bool nanoseconds = false;
};

// --- pcap ---

void ClassicHeader(std::vector<std::uint8_t>& out, std::uint32_t snapshotLength, int linkType, bool nanoseconds) {
  PutLe32(out, nanoseconds ? 0xa1b23c4d : 0xa1b2c3d4);
  PutLe16(out, 2);
  PutLe16(out, 4);
  PutLe32(out, 0);  // time zone offset
  PutLe32(out, 0);  // time stamp accuracy
  PutLe32(out, snapshotLength);
  PutLe32(out, static_cast<std::uint32_t>(LinkTypeForFile(linkType)));
}

void ClassicRecord(std::vector<std::uint8_t>& out, const PacketRecord& r, bool nanoseconds) {
  PutLe32(out, r.seconds);
  PutLe32(out, nanoseconds ? NanosecondsOf(r) : r.microseconds);
  PutLe32(out, r.capturedLength);
  PutLe32(out, r.wireLength);
  out.insert(out.end(), r.bytes.begin(), r.bytes.end());
}

// --- pcapng ---

// An option: code, length, the value padded to four bytes.
void PutOption(std::vector<std::uint8_t>& out, std::uint16_t code, const void* value, std::size_t length) {
  // An option's length has 16 bits: a longer value is cut (never a comment
  // that anyone typed).
  length = std::min<std::size_t>(length, 0xFFFC);
  PutLe16(out, code);
  PutLe16(out, static_cast<std::uint16_t>(length));
  const auto* bytes = static_cast<const std::uint8_t*>(value);
  out.insert(out.end(), bytes, bytes + length);
  out.insert(out.end(), (4 - length % 4) % 4, 0);
}

void PutText(std::vector<std::uint8_t>& out, std::uint16_t code, const std::string& text) {
  if (!text.empty()) PutOption(out, code, text.data(), text.size());
}

// Ends a block begun at `start`: the end of options, and the length at both ends.
void EndBlock(std::vector<std::uint8_t>& out, std::size_t start, bool options) {
  if (options) PutLe32(out, 0);  // opt_endofopt
  const auto total = static_cast<std::uint32_t>(out.size() - start + 4);
  PutLe32(out, total);
  for (int i = 0; i < 4; ++i) out[start + 4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(total >> (8 * i));
}

void PcapngHeader(std::vector<std::uint8_t>& out, std::uint32_t snapshotLength, const Contents& contents) {
  std::size_t start = out.size();
  PutLe32(out, 0x0A0D0D0A);  // section header block
  PutLe32(out, 0);
  PutLe32(out, 0x1A2B3C4D);  // byte-order magic
  PutLe16(out, 1);
  PutLe16(out, 0);
  PutLe64(out, ~std::uint64_t{0});  // section length: not given
  PutText(out, 4, kProgram);        // shb_userappl
  EndBlock(out, start, true);
  for (const PacketBuffer::Interface& interface : contents.described) {
    start = out.size();
    PutLe32(out, 1);  // interface description block
    PutLe32(out, 0);
    PutLe16(out, static_cast<std::uint16_t>(LinkTypeForFile(interface.linkType)));
    PutLe16(out, 0);
    PutLe32(out, snapshotLength);
    PutText(out, 2, interface.name);         // if_name
    PutText(out, 3, interface.description);  // if_description
    if (contents.nanoseconds) {
      const std::uint8_t resolution = 9;  // if_tsresol: nanoseconds
      PutOption(out, 9, &resolution, 1);
    }
    EndBlock(out, start, true);
  }
}

void PcapngRecord(std::vector<std::uint8_t>& out, const PacketRecord& r, std::uint32_t interface, bool nanoseconds) {
  const std::size_t start = out.size();
  const std::uint32_t padded = (r.capturedLength + 3u) & ~3u;
  const std::uint64_t stamp = nanoseconds ? static_cast<std::uint64_t>(r.seconds) * 1000000000u + NanosecondsOf(r)
                                          : static_cast<std::uint64_t>(r.seconds) * 1000000u + r.microseconds;
  PutLe32(out, 6);  // enhanced packet block
  PutLe32(out, 0);
  PutLe32(out, interface);
  PutLe32(out, static_cast<std::uint32_t>(stamp >> 32));
  PutLe32(out, static_cast<std::uint32_t>(stamp));
  PutLe32(out, r.capturedLength);
  PutLe32(out, r.wireLength);
  out.insert(out.end(), r.bytes.begin(), r.bytes.end());
  out.insert(out.end(), padded - r.capturedLength, 0);
  PutText(out, 1, r.comment);  // opt_comment
  EndBlock(out, start, !r.comment.empty());
}

void InterfaceStatistics(std::vector<std::uint8_t>& out, const DropCounts& drops) {
  const std::size_t start = out.size();
  PutLe32(out, 5);  // interface statistics block, of the first interface
  PutLe32(out, 0);
  PutLe32(out, 0);
  PutLe32(out, 0);  // time stamp: not known
  PutLe32(out, 0);
  PutOption(out, 5, &drops.interface, 8);  // isb_ifdrop
  PutOption(out, 7, &drops.kernel, 8);     // isb_osdrop
  EndBlock(out, start, true);
}

// --- the output: a plain file or a gzip stream over it ---

class Output {
 public:
  Output(int fd, bool gzip) : fd_(fd) {
    if (gzip) {
      gz_ = gzdopen(fd, "wb6");
      if (gz_ == nullptr) ok_ = false;
    }
  }
  bool Write(const std::vector<std::uint8_t>& bytes) {
    if (gz_ != nullptr) {
      if (!bytes.empty() && gzwrite(gz_, bytes.data(), static_cast<unsigned>(bytes.size())) <= 0) ok_ = false;
      return ok_;
    }
    for (std::size_t done = 0; done < bytes.size();) {
      const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        errno_ = errno;
        ok_ = false;
        return false;
      }
      done += static_cast<std::size_t>(n);
    }
    return ok_;
  }
  // Closes the file; an empty text, or why it failed.
  std::string Close() {
    if (gz_ != nullptr) {
      if (gzclose(gz_) != Z_OK) ok_ = false;  // closes the descriptor too
    } else if (::close(fd_) != 0 && ok_) {
      errno_ = errno;
      ok_ = false;
    }
    if (ok_) return {};
    return std::strerror(errno_ != 0 ? errno_ : EIO);
  }

 private:
  int fd_;
  gzFile gz_ = nullptr;
  bool ok_ = true;
  int errno_ = 0;
};

bool EndsWith(const std::string& text, const std::string& end) {
  if (text.size() < end.size()) return false;
  return std::equal(end.rbegin(), end.rend(), text.rbegin(),
                    [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
}

Contents GatherContents(const PacketBuffer& buffer, const SaveOptions& options) {
  Contents c;
  if (!options.keep) {
    c.longest = buffer.MaxCapturedLength();
    c.interfaces = buffer.InterfacesInUse();
    c.comments = buffer.HasComments();
    c.nanoseconds = buffer.HasNanoseconds();
  } else {
    // What the kept records alone need.
    buffer.ForEachNewestFirst([&](const PacketRecord& r) {
      if (!options.keep(r)) return;
      c.longest = std::max(c.longest, r.capturedLength);
      c.comments = c.comments || !r.comment.empty();
      c.nanoseconds = c.nanoseconds || r.extraNanoseconds != 0;
      // Ends up last-seen last, which walking newest first is the oldest.
      std::erase(c.interfaces, r.interface);
      c.interfaces.push_back(r.interface);
    });
    // In the order the buffer first holds them, as for a whole buffer.
    std::reverse(c.interfaces.begin(), c.interfaces.end());
  }
  for (const std::uint32_t i : c.interfaces) c.described.push_back(buffer.InterfaceAt(i));
  if (c.described.empty()) c.described.push_back({});  // an empty buffer saves as Ethernet
  for (const PacketBuffer::Interface& i : c.described) {
    if (std::find(c.linkTypes.begin(), c.linkTypes.end(), i.linkType) == c.linkTypes.end()) {
      c.linkTypes.push_back(i.linkType);
    }
  }
  return c;
}

}  // namespace

SaveFormat SaveFormatForName(const std::string& path) {
  const std::string name = EndsWith(path, ".gz") ? path.substr(0, path.size() - 3) : path;
  if (EndsWith(name, ".pcapng") || EndsWith(name, ".ntar")) return SaveFormat::Pcapng;
  if (EndsWith(name, ".pcap")) return SaveFormat::Pcap;
  return SaveFormat::Automatic;
}

bool NameAsksForGzip(const std::string& path) { return EndsWith(path, ".gz"); }

std::uint32_t SavedSnapshotLength(std::uint32_t longestRecord) {
  return longestRecord > kEthernetSnapshotLength ? longestRecord : kEthernetSnapshotLength;
}

std::string WriteSavefile(const std::string& path, const PacketBuffer& buffer,
                          const std::function<bool(const PacketRecord&)>& keep) {
  SaveOptions options;
  options.keep = keep;
  return WriteSavefile(path, buffer, options);
}

std::string WriteSavefile(const std::string& path, const PacketBuffer& buffer, const SaveOptions& options) {
  const Contents contents = GatherContents(buffer, options);
  SaveFormat format = options.format;
  if (format == SaveFormat::Automatic) {
    format = contents.linkTypes.size() > 1 || contents.comments ? SaveFormat::Pcapng : SaveFormat::Pcap;
  }
  if (format == SaveFormat::Pcap && contents.linkTypes.size() > 1) {
    return "a pcap file holds frames of one link type only, and these have several: save them as pcapng";
  }
  const bool pcapng = format == SaveFormat::Pcapng;

  const std::string temporary = path + ".part";
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return std::strerror(errno);
  Output file(fd, options.gzip);

  std::vector<std::uint8_t> out;
  out.reserve(1 << 16);
  const std::uint32_t snapshotLength = SavedSnapshotLength(contents.longest);
  if (pcapng) {
    PcapngHeader(out, snapshotLength, contents);
  } else {
    ClassicHeader(out, snapshotLength, contents.linkTypes.front(), contents.nanoseconds);
  }
  auto flush = [&] {
    file.Write(out);
    out.clear();
  };
  // A frame whose file changed since it was read cannot be saved: the file
  // would lack it, so nothing is written.
  std::string unreadable;
  buffer.ForEachNewestFirst([&](const PacketRecord& r) {
    if (options.keep && !options.keep(r)) return;
    if (r.unreadable || !unreadable.empty()) {
      if (unreadable.empty()) unreadable = r.file ? FileChangedText(r.file->Path()) : "A packet could not be read.";
      return;
    }
    if (pcapng) {
      const auto at = std::find(contents.interfaces.begin(), contents.interfaces.end(), r.interface);
      PcapngRecord(out, r, static_cast<std::uint32_t>(at - contents.interfaces.begin()), contents.nanoseconds);
    } else {
      ClassicRecord(out, r, contents.nanoseconds);
    }
    if (out.size() >= (1u << 16)) flush();
  });
  if (pcapng && options.drops && options.drops->known) InterfaceStatistics(out, *options.drops);
  flush();
  const std::string closed = file.Close();
  if (!unreadable.empty() || !closed.empty()) {
    std::remove(temporary.c_str());
    return !unreadable.empty() ? unreadable : closed;
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    const std::string why = std::strerror(errno);
    std::remove(temporary.c_str());
    return why;
  }
  return {};
}

}  // namespace qv
