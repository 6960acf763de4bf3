#include "capture/gzip_file_writer.h"

#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <string_view>

namespace qv {

namespace {

// zlib's own buffers: larger than its default 8 KiB, so a large save costs
// fewer writes.
constexpr unsigned kGzipBufferBytes = 128 * 1024;

// errno after a failed gz call: the system's reason when there was one.
void SetErrnoFrom(gzFile gz) {
  int zlibError = Z_OK;
  gzerror(gz, &zlibError);
  if (zlibError != Z_ERRNO) errno = zlibError == Z_MEM_ERROR ? ENOMEM : EIO;
}

ssize_t WriteCompressed(void* cookie, const char* bytes, std::size_t size) {
  gzFile gz = static_cast<gzFile>(cookie);
  std::size_t done = 0;
  while (done < size) {
    const unsigned piece = static_cast<unsigned>(std::min<std::size_t>(size - done, INT_MAX / 2));
    const int put = gzwrite(gz, bytes + done, piece);
    if (put <= 0) {
      SetErrnoFrom(gz);
      // fopencookie takes 0 as the failure of a write.
      return static_cast<ssize_t>(done);
    }
    done += static_cast<std::size_t>(put);
  }
  return static_cast<ssize_t>(done);
}

int CloseCompressed(void* cookie) {
  const int rc = gzclose_w(static_cast<gzFile>(cookie));
  if (rc == Z_OK) return 0;
  if (rc != Z_ERRNO) errno = EIO;
  return -1;
}

}  // namespace

bool IsGzipFileName(const std::string& path) {
  constexpr std::string_view kExtension = ".gz";
  return path.size() > kExtension.size() &&
         path.compare(path.size() - kExtension.size(), kExtension.size(), kExtension) == 0;
}

std::FILE* OpenGzipFileForWriting(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  gzFile gz = gzdopen(fd, "wb");
  if (gz == nullptr) {
    ::close(fd);
    errno = ENOMEM;
    return nullptr;
  }
  gzbuffer(gz, kGzipBufferBytes);
  const cookie_io_functions_t functions{nullptr, WriteCompressed, nullptr, CloseCompressed};
  std::FILE* stream = fopencookie(gz, "w", functions);
  if (stream == nullptr) {
    const int why = errno;
    gzclose_w(gz);
    errno = why;
  }
  return stream;
}

}  // namespace qv
