#include "capture/capture_backend.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qv {

int CaptureBackend::OpenFile(const std::string& path, std::string& error) {
  const int fd = path == "-" ? ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0) : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  // The words libpcap itself used for a file it could not open.
  if (fd < 0) error = path + ": " + std::strerror(errno);
  return fd;
}

}  // namespace qv
