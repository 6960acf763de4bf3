#include "capture_helper/channel.h"

#include <unistd.h>

#include <cerrno>

namespace qv::helper {

Channel::~Channel() {
  if (pendingFd_ >= 0) ::close(pendingFd_);
}

bool Channel::Offer(std::span<const std::uint8_t> message) const {
  if (control::TrySendMessage(fd_, message)) return true;
  return errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS;
}

bool Channel::Read() {
  int received = -1;
  const long n = control::ReadSome(fd_, decoder_, &received);
  if (received >= 0) {
    if (pendingFd_ >= 0) {
      ::close(received);
      error_ = "The control channel carried a second file before the first was used";
    } else {
      pendingFd_ = received;
    }
  }
  if (n > 0) return true;
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
  return false;
}

int Channel::TakeDescriptor() {
  const int fd = pendingFd_;
  pendingFd_ = -1;
  return fd;
}

}  // namespace qv::helper
