#include "capture/compressed_input.h"

#include <lz4frame.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

#include "capture/cache_folder.h"

namespace qv {

namespace {

constexpr std::size_t kInputBytes = 1 << 20;
constexpr std::size_t kOutputBytes = 1 << 20;
// zstd and lz4 do not say where in the input they gave up, only that the
// input of the call failed: fed in slices, they find the damage within the
// slice after the block that holds it.
constexpr std::size_t kDecoderSlice = 64 * 1024;
// zstd's own default: a frame that wants a larger window (zstd --long=31)
// is refused rather than given gigabytes of memory.
constexpr int kZstdWindowLogMax = 27;
// Deflate cannot expand more than about 1032 to 1; a gzip size trailer
// beyond that is not the size of this file (it is damaged or cut short).
constexpr std::uint64_t kDeflateMaxRatio = 1032;

constexpr std::array<std::uint8_t, 2> kGzipMagic{0x1f, 0x8b};
constexpr std::array<std::uint8_t, 4> kZstdMagic{0x28, 0xb5, 0x2f, 0xfd};
constexpr std::array<std::uint8_t, 4> kLz4Magic{0x04, 0x22, 0x4d, 0x18};

template <std::size_t N>
bool StartsWith(std::span<const std::uint8_t> head, const std::array<std::uint8_t, N>& magic) {
  return head.size() >= N && std::equal(magic.begin(), magic.end(), head.begin());
}

std::uint64_t Le64(const std::uint8_t* p) {
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

std::string Format(const char* format, auto... args) {
  char text[1024];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}

unsigned long long MegabytesUp(std::uint64_t bytes) { return (bytes + 999999) / 1000000; }
unsigned long long MegabytesDown(std::uint64_t bytes) { return bytes / 1000000; }

// One run of Decompress: the input read through a fixed buffer, the output
// written through another, and what went wrong.
class Decompression {
 public:
  Decompression(int inputFd, std::span<const std::uint8_t> prefix, Compression compression,
                const std::string& displayName, const DecompressProgress& progress, const DecompressOptions& options)
      : inputFd_(inputFd),
        prefix_(prefix),
        compression_(compression),
        displayName_(displayName),
        progress_(progress),
        freeSpace_(options.freeSpace ? options.freeSpace : FreeSpaceLookup(FreeSpaceOf)),
        folder_(options.folder),
        in_(std::make_unique_for_overwrite<std::uint8_t[]>(kInputBytes)),
        out_(std::make_unique_for_overwrite<std::uint8_t[]>(kOutputBytes)) {}

  Decompressed Run();

 private:
  void Gzip();
  void Zstd();
  void Lz4();

  // The next bytes of the input in in_, how many (0 at its end or after a
  // failure, see Failed()). chunkStart_ is the offset of in_[0].
  std::size_t Fill();
  // Writes the decompressed `bytes` to the temporary file; false when the
  // run ends here (no room, a failed write, a stop asked for).
  bool Emit(const std::uint8_t* bytes, std::size_t size);
  bool KeepGoing();
  // Writes what out_ holds; false as Emit.
  bool Flush() { return Emit(out_.get(), std::exchange(outPos_, 0)); }
  // After the input ended or the run stopped: writes what is left, and
  // reports a stream whose last member or frame had not ended.
  void Finish(bool midStream);
  bool Failed() const { return result_.problem != DecompressProblem::None || result_.stopped; }

  void Damaged(std::uint64_t offset, const char* reason);
  void CutShort();
  void NoRoom(std::uint64_t needed, bool onlyLowerBound, std::uint64_t free);
  std::uint64_t EstimatedTotal(std::uint64_t writtenSoFar) const;
  // The decompressed size the first chunk announces (a lower bound of the
  // whole, as more frames or members may follow), or 0.
  std::uint64_t AnnouncedSize(std::size_t firstChunk) const;

  const int inputFd_;
  std::span<const std::uint8_t> prefix_;
  const Compression compression_;
  const std::string& displayName_;
  const DecompressProgress& progress_;
  const FreeSpaceLookup freeSpace_;
  std::string folder_;
  std::unique_ptr<std::uint8_t[]> in_;
  std::unique_ptr<std::uint8_t[]> out_;
  std::size_t outPos_ = 0;  // decompressed bytes in out_, not yet written

  std::uint64_t inputTotal_ = 0;  // 0 when unknown
  std::uint64_t consumed_ = 0;    // bytes of input read into in_ so far
  std::uint64_t decoded_ = 0;     // bytes of input the codec has taken
  std::uint64_t chunkStart_ = 0;
  std::size_t firstChunk_ = 0;    // read before the codec started, handed out by its first Fill
  std::uint64_t announced_ = 0;
  Decompressed result_;
};

Decompressed Decompression::Run() {
  if (compression_ == Compression::None) {
    result_.problem = DecompressProblem::Damaged;
    result_.error = displayName_ + " is not compressed with gzip, zstd or lz4.";
    return result_;
  }
  if (folder_.empty()) {
    CacheFolder cache = EnsureCacheFolder();
    if (cache.path.empty()) {
      result_.problem = DecompressProblem::WriteError;
      result_.error = "Cannot decompress " + displayName_ + ": " + cache.error;
      return result_;
    }
    folder_ = cache.path;
  }
  struct stat st {};
  if (::fstat(inputFd_, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
    inputTotal_ = static_cast<std::uint64_t>(st.st_size);
  }

  // The first chunk tells how large the result is, at least, when the
  // frame header holds the content size: a capture that cannot fit is
  // refused before anything is written.
  firstChunk_ = Fill();
  if (Failed()) return result_;
  announced_ = AnnouncedSize(firstChunk_);
  if (announced_ > 0) {
    const std::optional<std::uint64_t> free = freeSpace_(folder_);
    if (free && announced_ > *free) {
      NoRoom(announced_, false, *free);
      return result_;
    }
  }

  const CacheFile file = MakeCacheFile(folder_);
  if (file.fd < 0) {
    result_.problem = DecompressProblem::WriteError;
    result_.error = "Cannot decompress " + displayName_ + ": " + file.error;
    return result_;
  }
  result_.fd = file.fd;
  switch (compression_) {
    case Compression::Gzip: Gzip(); break;
    case Compression::Zstd: Zstd(); break;
    case Compression::Lz4: Lz4(); break;
    case Compression::None: break;
  }
  if (::lseek(result_.fd, 0, SEEK_SET) != 0 && result_.problem == DecompressProblem::None) {
    result_.problem = DecompressProblem::WriteError;
    result_.error = Format("Cannot read back the decompressed %s: %s.", displayName_.c_str(), std::strerror(errno));
  }
  return result_;
}

std::size_t Decompression::Fill() {
  if (firstChunk_ > 0) {
    // The chunk Run read ahead is already in in_.
    return std::exchange(firstChunk_, 0);
  }
  if (result_.stopped) return 0;
  std::size_t size = std::min(prefix_.size(), kInputBytes);
  std::copy_n(prefix_.begin(), size, in_.get());
  prefix_ = prefix_.subspan(size);
  if (size < kInputBytes && prefix_.empty()) {
    ssize_t got;
    do {
      got = ::read(inputFd_, in_.get() + size, kInputBytes - size);
    } while (got < 0 && errno == EINTR);
    if (got < 0 && size == 0) {
      result_.problem = DecompressProblem::ReadError;
      result_.errorOffset = consumed_;
      result_.error = Format("Cannot read %s at byte %llu: %s.", displayName_.c_str(),
                             static_cast<unsigned long long>(consumed_), std::strerror(errno));
      return 0;
    }
    // A failure after the prefix's bytes shows again at the next read.
    if (got > 0) size += static_cast<std::size_t>(got);
  }
  chunkStart_ = consumed_;
  consumed_ += size;
  // A file that grew while it is read: its total is no longer known.
  if (inputTotal_ > 0 && consumed_ > inputTotal_) inputTotal_ = 0;
  if (size > 0 && !KeepGoing()) return 0;
  return size;
}

bool Decompression::KeepGoing() {
  if (result_.stopped) return false;
  if (progress_ && !progress_(consumed_, inputTotal_)) result_.stopped = true;
  return !result_.stopped;
}

bool Decompression::Emit(const std::uint8_t* bytes, std::size_t size) {
  if (size == 0) return true;
  // Stopping short of a full disk leaves room for everything else that
  // runs; the write below would fail a little later anyway.
  const std::optional<std::uint64_t> free = freeSpace_(folder_);
  if (free && size > *free) {
    NoRoom(EstimatedTotal(result_.size + size), inputTotal_ == 0 && announced_ == 0, *free);
    return false;
  }
  while (size > 0) {
    const ssize_t put = ::write(result_.fd, bytes, size);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      // A write that takes nothing (put == 0) is a full file system too.
      if (put == 0 || errno == ENOSPC || errno == EDQUOT) {
        const std::optional<std::uint64_t> left = freeSpace_(folder_);
        NoRoom(EstimatedTotal(result_.size + size), inputTotal_ == 0 && announced_ == 0, left.value_or(0));
      } else {
        result_.problem = DecompressProblem::WriteError;
        result_.error = Format("Cannot write the decompressed %s to %s: %s.", displayName_.c_str(), folder_.c_str(),
                               std::strerror(errno));
      }
      return false;
    }
    bytes += put;
    size -= static_cast<std::size_t>(put);
    result_.size += static_cast<std::uint64_t>(put);
  }
  return KeepGoing();
}

std::uint64_t Decompression::EstimatedTotal(std::uint64_t writtenSoFar) const {
  std::uint64_t estimate = writtenSoFar;
  if (inputTotal_ > 0 && decoded_ > 0) {
    // The ratio so far, carried over to the rest of the input.
    const double ratio = static_cast<double>(writtenSoFar) / static_cast<double>(decoded_);
    estimate = std::max(estimate, static_cast<std::uint64_t>(ratio * static_cast<double>(inputTotal_)));
  }
  return std::max(estimate, announced_);
}

void Decompression::NoRoom(std::uint64_t needed, bool onlyLowerBound, std::uint64_t free) {
  result_.problem = DecompressProblem::NoRoom;
  result_.error = Format("Not enough room in %s to decompress %s: it needs %s %llu MB and %llu MB are free.",
                         folder_.c_str(), displayName_.c_str(), onlyLowerBound ? "more than" : "about",
                         MegabytesUp(needed), MegabytesDown(free));
}

void Decompression::Finish(bool midStream) {
  // A stop asked for still keeps what was decompressed.
  if (result_.problem == DecompressProblem::None) Flush();
  if (!Failed() && midStream) CutShort();
}

void Decompression::Damaged(std::uint64_t offset, const char* reason) {
  result_.problem = DecompressProblem::Damaged;
  result_.errorOffset = offset;
  result_.error = Format("The %s data of %s is damaged at byte %llu: %s.", CompressionName(compression_),
                         displayName_.c_str(), static_cast<unsigned long long>(offset), reason);
}

void Decompression::CutShort() {
  result_.problem = DecompressProblem::Damaged;
  result_.errorOffset = consumed_;
  result_.error = Format("The %s data of %s is cut short at byte %llu.", CompressionName(compression_),
                         displayName_.c_str(), static_cast<unsigned long long>(consumed_));
}

std::uint64_t Decompression::AnnouncedSize(std::size_t firstChunk) const {
  const std::uint8_t* head = in_.get();
  switch (compression_) {
    case Compression::Zstd: {
      const unsigned long long size = ZSTD_getFrameContentSize(head, firstChunk);
      return size == ZSTD_CONTENTSIZE_UNKNOWN || size == ZSTD_CONTENTSIZE_ERROR ? 0 : size;
    }
    case Compression::Lz4: {
      // Magic, FLG, BD, then the content size when FLG's bit 3 says so
      // (version bits 01).
      constexpr std::size_t kSizeEnd = 4 + 2 + 8;
      if (firstChunk < kSizeEnd || (head[4] >> 6) != 1 || (head[4] & 0x08) == 0) return 0;
      return Le64(head + 6);
    }
    case Compression::Gzip: {
      // The trailer of the last member holds its size mod 2^32: a lower
      // bound of the whole, when the file is whole. Only a regular file can
      // be looked at from the end.
      constexpr std::uint64_t kSmallestMember = 18;
      if (inputTotal_ < kSmallestMember) return 0;
      std::uint8_t trailer[4];
      if (::pread(inputFd_, trailer, sizeof trailer, static_cast<off_t>(inputTotal_ - 4)) != 4) return 0;
      const std::uint64_t size = trailer[0] | (trailer[1] << 8) | (trailer[2] << 16) |
                                 (static_cast<std::uint64_t>(trailer[3]) << 24);
      return size <= inputTotal_ * kDeflateMaxRatio ? size : 0;
    }
    case Compression::None: break;
  }
  return 0;
}

// Concatenated members are decompressed one after the other, as gzip -d
// does; bytes after a member that do not start another are damage.
void Decompression::Gzip() {
  z_stream z{};
  if (inflateInit2(&z, 15 + 32) != Z_OK) {
    result_.problem = DecompressProblem::WriteError;
    result_.error = "Not enough memory to decompress " + displayName_ + ".";
    return;
  }
  std::size_t chunk = 0;
  bool inMember = false;  // bytes of the current member were taken
  bool pending = false;   // inflate may hold more output
  for (;;) {
    if (z.avail_in == 0 && !pending) {
      chunk = Fill();
      if (chunk == 0) break;
      z.next_in = in_.get();
      z.avail_in = static_cast<uInt>(chunk);
    }
    if (!inMember && z.avail_in > 0 && z.next_in[0] != kGzipMagic[0]) {
      if (Flush()) Damaged(chunkStart_ + (chunk - z.avail_in), "what follows the end of the compressed data is not gzip");
      break;
    }
    z.next_out = out_.get() + outPos_;
    z.avail_out = static_cast<uInt>(kOutputBytes - outPos_);
    const uInt before = z.avail_in;
    const int rc = inflate(&z, Z_NO_FLUSH);
    if (z.avail_in != before) inMember = true;
    outPos_ = kOutputBytes - z.avail_out;
    decoded_ = chunkStart_ + (chunk - z.avail_in);
    if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) {
      // What came out before the damage is kept. zlib stops reading at
      // the code it cannot take, or after the trailer that does not match.
      if (Flush()) Damaged(decoded_, z.msg != nullptr ? z.msg : "it cannot be decompressed");
      break;
    }
    pending = z.avail_out == 0;
    if (rc == Z_BUF_ERROR && !pending && z.avail_in > 0) {
      // Input and room both there and nothing taken: never loop on it.
      if (Flush()) Damaged(decoded_, "it cannot be decompressed");
      break;
    }
    if (pending && !Flush()) break;
    if (rc == Z_STREAM_END) {
      inflateReset(&z);
      inMember = false;
    }
  }
  Finish(inMember);
  inflateEnd(&z);
}

void Decompression::Zstd() {
  ZSTD_DCtx* context = ZSTD_createDCtx();
  if (context == nullptr) {
    result_.problem = DecompressProblem::WriteError;
    result_.error = "Not enough memory to decompress " + displayName_ + ".";
    return;
  }
  ZSTD_DCtx_setParameter(context, ZSTD_d_windowLogMax, kZstdWindowLogMax);
  std::size_t chunk = 0, pos = 0;
  std::size_t left = 0;  // 0 when the last frame was decoded and flushed whole
  bool pending = false;
  for (;;) {
    if (pos == chunk && !pending) {
      chunk = Fill();
      pos = 0;
      if (chunk == 0) break;
    }
    const std::size_t sliceEnd = std::min(chunk, pos + kDecoderSlice);
    ZSTD_inBuffer in{in_.get(), sliceEnd, pos};
    ZSTD_outBuffer out{out_.get(), kOutputBytes, outPos_};
    const std::size_t rc = ZSTD_decompressStream(context, &out, &in);
    outPos_ = std::min(out.pos, kOutputBytes);
    if (ZSTD_isError(rc)) {
      if (Flush()) Damaged(chunkStart_ + sliceEnd, ZSTD_getErrorName(rc));
      break;
    }
    pos = in.pos;
    left = rc;
    decoded_ = chunkStart_ + pos;
    pending = outPos_ == kOutputBytes;
    if (pending && !Flush()) break;
  }
  Finish(left != 0);
  ZSTD_freeDCtx(context);
}

void Decompression::Lz4() {
  LZ4F_dctx* context = nullptr;
  if (LZ4F_isError(LZ4F_createDecompressionContext(&context, LZ4F_VERSION))) {
    result_.problem = DecompressProblem::WriteError;
    result_.error = "Not enough memory to decompress " + displayName_ + ".";
    return;
  }
  std::size_t chunk = 0, pos = 0;
  std::size_t left = 0;  // 0 when the last frame was decoded whole
  bool pending = false;
  for (;;) {
    if (pos == chunk && !pending) {
      chunk = Fill();
      pos = 0;
      if (chunk == 0) break;
    }
    const std::size_t sliceEnd = std::min(chunk, pos + kDecoderSlice);
    std::size_t produced = kOutputBytes - outPos_;
    std::size_t taken = sliceEnd - pos;
    const std::size_t rc =
        LZ4F_decompress(context, out_.get() + outPos_, &produced, in_.get() + pos, &taken, nullptr);
    if (LZ4F_isError(rc)) {
      if (Flush()) Damaged(chunkStart_ + sliceEnd, LZ4F_getErrorName(rc));
      break;
    }
    outPos_ += produced;
    pos += taken;
    left = rc;
    decoded_ = chunkStart_ + pos;
    pending = outPos_ == kOutputBytes;
    if (pending && !Flush()) break;
  }
  Finish(left != 0);
  LZ4F_freeDecompressionContext(context);
}

}  // namespace

Compression DetectCompression(std::span<const std::uint8_t> head) {
  if (StartsWith(head, kGzipMagic)) return Compression::Gzip;
  if (StartsWith(head, kZstdMagic)) return Compression::Zstd;
  if (StartsWith(head, kLz4Magic)) return Compression::Lz4;
  return Compression::None;
}

const char* CompressionName(Compression compression) {
  switch (compression) {
    case Compression::Gzip: return "gzip";
    case Compression::Zstd: return "zstd";
    case Compression::Lz4: return "lz4";
    case Compression::None: break;
  }
  return "none";
}

std::optional<std::uint64_t> FreeSpaceOf(const std::string& folder) {
  struct statvfs vfs {};
  if (::statvfs(folder.c_str(), &vfs) != 0) return std::nullopt;
  return static_cast<std::uint64_t>(vfs.f_bavail) * vfs.f_frsize;
}

Decompressed Decompress(int fd, std::span<const std::uint8_t> prefix, Compression compression,
                        const std::string& displayName, const DecompressProgress& progress,
                        const DecompressOptions& options) {
  return Decompression(fd, prefix, compression, displayName, progress, options).Run();
}

}  // namespace qv
