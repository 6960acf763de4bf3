#include "capture/savefile_input.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "capture/compressed_input.h"

namespace qv {

namespace {

// Reads up to `out.size()` bytes, fewer only at the end of the input; the
// count, or -1 on a failure.
ssize_t ReadHead(int fd, std::span<std::uint8_t> out) {
  std::size_t got = 0;
  while (got < out.size()) {
    const ssize_t n = ::read(fd, out.data() + got, out.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return static_cast<ssize_t>(got);
}

}  // namespace

std::unique_ptr<SavefileInput> SavefileInput::Open(int fd, std::string path, const Hooks& hooks,
                                                   std::string& error) {
  std::unique_ptr<SavefileInput> input(new SavefileInput());
  input->fd_ = fd;
  struct stat status {};
  if (::fstat(fd, &status) != 0) {
    error = std::strerror(errno);
    return nullptr;
  }
  std::uint8_t head[8];
  ssize_t got = ReadHead(fd, head);
  if (got < 0) {
    error = std::strerror(errno);
    return nullptr;
  }
  const Compression compression = DetectCompression(std::span<const std::uint8_t>(head, static_cast<std::size_t>(got)));
  if (compression != Compression::None) {
    // Decompressed once into the cache folder; the frames are then read
    // from there, and stay there.
    if (hooks.progress) hooks.progress({ReadProgress::Stage::Decompressing, 0, 0});
    const Decompressed out = Decompress(
        fd, std::span<const std::uint8_t>(head, static_cast<std::size_t>(got)), compression, path,
        [&hooks](std::uint64_t consumed, std::uint64_t total) {
          if (hooks.progress) hooks.progress({ReadProgress::Stage::Decompressing, consumed, total});
          return !(hooks.stopped && hooks.stopped());
        });
    if (out.fd < 0) {
      error = out.stopped && out.error.empty() ? "stopped before anything was decompressed" : out.error;
      return nullptr;
    }
    ::close(input->fd_);
    input->fd_ = out.fd;
    input->stoppedEarly_ = out.stopped;
    if (out.problem == DecompressProblem::Damaged || out.problem == DecompressProblem::ReadError) {
      input->compressedDamage_ = SavefileReader::DamageReport{out.errorOffset, out.error};
    } else if (out.problem != DecompressProblem::None) {
      input->decompressionFailure_ = out.error;
    }
    if (::fstat(input->fd_, &status) != 0 || (got = ReadHead(input->fd_, head)) < 0) {
      error = std::strerror(errno);
      return nullptr;
    }
  }
  if (S_ISREG(status.st_mode)) {
    input->size_ = static_cast<std::uint64_t>(status.st_size);
    // Frames stay in a regular file; the reader's descriptor reads ahead
    // while the buffer reads back through a descriptor of its own.
    input->place_.file = FrameFile::Open(input->fd_, path);
  }
  input->reader_ =
      std::make_unique<SavefileReader>(input->fd_, std::span<const std::uint8_t>(head, static_cast<std::size_t>(got)));
  return input;
}

SavefileInput::~SavefileInput() {
  reader_.reset();
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace qv
