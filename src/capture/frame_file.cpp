#include "capture/frame_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <utility>

namespace qv {

namespace {

bool SameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

// Reads exactly out.size() bytes at `offset`; false on an error or an end of
// file before that.
bool ReadFully(int fd, std::uint64_t offset, std::span<std::uint8_t> out) {
  std::size_t done = 0;
  while (done < out.size()) {
    const ssize_t n = ::pread(fd, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

std::string FileChangedText(const std::string& path) {
  return "The file " + path + " has changed since it was read: its packets can no longer be read from it.";
}

std::string FileChangedMessage(const std::string& path) {
  return FileChangedText(path) + "\nOpen the file again to see its present contents.";
}

std::uint32_t FrameFingerprint(std::span<const std::uint8_t> bytes) {
  // Taken of every frame as it is read, so it is done a word at a time.
  constexpr std::size_t kEnds = 32;
  std::uint8_t ends[2 * kEnds] = {};
  const std::size_t head = std::min(bytes.size(), kEnds);
  const std::size_t tail = std::min(bytes.size() - head, kEnds);
  if (head != 0) std::memcpy(ends, bytes.data(), head);
  if (tail != 0) std::memcpy(ends + kEnds, bytes.data() + bytes.size() - tail, tail);
  std::uint64_t hash = 0x9E3779B97F4A7C15ull ^ bytes.size();
  for (std::size_t i = 0; i < sizeof ends; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, ends + i, 8);
    hash = (hash ^ word) * 0xFF51AFD7ED558CCDull;
    hash ^= hash >> 32;
  }
  return static_cast<std::uint32_t>(hash);
}

std::shared_ptr<FrameFile> FrameFile::Open(int fd, std::string path) {
  struct stat st {};
  if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
  const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (own < 0) return nullptr;
  std::shared_ptr<FrameFile> file(new (std::nothrow) FrameFile(own, std::move(path)));
  if (!file) {
    ::close(own);
    return nullptr;
  }
  file->size_ = file->seenSize_ = st.st_size;
  file->modified_ = file->seenModified_ = st.st_mtim;
  return file;
}

FrameFile::FrameFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}

FrameFile::~FrameFile() { ::close(fd_); }

bool FrameFile::TakeChangeReport() { return changed_.load() && !reported_.exchange(true); }

off_t FrameFile::SizeIfUnchanged() {
  struct stat st {};
  if (changed_ || ::fstat(fd_, &st) != 0) return -1;
  // Shrunk: truncated, or rewritten from the start. The same size with a
  // new modification time: rewritten in place. Only growing is harmless.
  if (st.st_size < size_ || (st.st_size == size_ && !SameTime(st.st_mtim, modified_))) return -1;
  if (st.st_size != seenSize_ || !SameTime(st.st_mtim, seenModified_)) {
    // Grown: what the windows hold is read again, so that the frames'
    // fingerprints can tell whether the growing rewrote them.
    for (Window& w : windows_) w = {};
    seenSize_ = st.st_size;
    seenModified_ = st.st_mtim;
  }
  return st.st_size;
}

FrameFile::Bytes FrameFile::Read(std::uint64_t offset, std::uint32_t length, Check check) {
  std::lock_guard lock(mutex_);
  if (changed_) return {};
  const Window* w = check == Check::WhenReading ? CachedWindow(offset, length) : nullptr;
  if (w == nullptr) {
    // Checked even when the frame is in a window already: a file found
    // changed is changed for every frame, not only for those read last.
    const off_t size = SizeIfUnchanged();
    if (size < 0 || offset + length > static_cast<std::uint64_t>(size)) {
      changed_ = true;
      return {};
    }
    w = WindowFor(offset, length, static_cast<std::uint64_t>(size));
    if (w == nullptr) return {};
  }
  const std::uint8_t* at = w->bytes.get() + (offset - w->start);
  return {std::shared_ptr<const void>(w->bytes, at), {at, length}};
}

bool FrameFile::Peek(std::uint64_t offset, std::span<std::uint8_t> out) {
  std::lock_guard lock(mutex_);
  if (offset + out.size() > static_cast<std::uint64_t>(seenSize_)) return false;
  const Window* w = WindowFor(offset, static_cast<std::uint32_t>(out.size()), static_cast<std::uint64_t>(seenSize_));
  if (w == nullptr) return false;
  std::memcpy(out.data(), w->bytes.get() + (offset - w->start), out.size());
  return true;
}

const FrameFile::Window* FrameFile::CachedWindow(std::uint64_t offset, std::uint32_t length) {
  const std::uint64_t end = offset + length;
  ++uses_;
  for (Window& w : windows_) {
    if (w.bytes && w.start <= offset && end <= w.start + w.size) {
      w.lastUse = uses_;
      return &w;
    }
  }
  return nullptr;
}

const FrameFile::Window* FrameFile::WindowFor(std::uint64_t offset, std::uint32_t length, std::uint64_t size) {
  if (const Window* cached = CachedWindow(offset, length)) return cached;
  const std::uint64_t end = offset + length;
  // Whole windows, so that the neighbours of the frame, before it as well
  // as after, come with it.
  const std::uint64_t start = offset / kWindowBytes * kWindowBytes;
  const std::uint64_t stop = std::min<std::uint64_t>((end + kWindowBytes - 1) / kWindowBytes * kWindowBytes, size);
  std::shared_ptr<std::uint8_t[]> bytes;
  try {
    bytes = std::make_shared_for_overwrite<std::uint8_t[]>(stop - start);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  if (!ReadFully(fd_, start, {bytes.get(), stop - start})) {
    changed_ = true;
    return nullptr;
  }
  Window& oldest = *std::min_element(std::begin(windows_), std::end(windows_),
                                     [](const Window& a, const Window& b) { return a.lastUse < b.lastUse; });
  oldest = {start, std::move(bytes), stop - start, uses_};
  return &oldest;
}

}  // namespace qv
