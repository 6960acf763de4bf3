#include "capture/input_window.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

namespace qv {

InputWindow::InputWindow(int fd, std::span<const std::uint8_t> alreadyRead) : fd_(fd) {
  capacity_ = std::max<std::size_t>(2 * kReadSize, alreadyRead.size());
  data_.reset(new std::uint8_t[capacity_]);
  if (!alreadyRead.empty()) std::memcpy(data_.get(), alreadyRead.data(), alreadyRead.size());
  filled_ = alreadyRead.size();
}

InputWindow::~InputWindow() = default;

bool InputWindow::Fill() {
  if (ended_) return false;
  if (base_ + filled_ >= limit_) return false;  // paused, not ended
  // The unread bytes go to the front when too little room is left behind
  // them: at most one record's worth is moved.
  if (capacity_ - filled_ < kReadSize && position_ > 0) {
    const std::size_t keep = filled_ - position_;
    std::memmove(data_.get(), data_.get() + position_, keep);
    base_ += position_;
    position_ = 0;
    filled_ = keep;
  }
  if (filled_ == capacity_) {
    // Full of bytes that arrived: doubling keeps every allocation within
    // twice what the input really holds.
    const std::size_t grown = std::min(capacity_ * 2, kLargest + kReadSize);
    if (grown <= capacity_) return false;
    std::unique_ptr<std::uint8_t[]> more(new (std::nothrow) std::uint8_t[grown]);
    if (!more) {
      failure_ = "out of memory";
      ended_ = true;
      return false;
    }
    std::memcpy(more.get(), data_.get(), filled_);
    data_ = std::move(more);
    capacity_ = grown;
  }
  const std::uint64_t end = base_ + filled_;
  const std::size_t most =
      static_cast<std::size_t>(std::min<std::uint64_t>(std::min(kReadSize, capacity_ - filled_), limit_ - end));
  for (;;) {
    const ssize_t n = ::read(fd_, data_.get() + filled_, most);
    if (n > 0) {
      filled_ += static_cast<std::size_t>(n);
      return true;
    }
    if (n < 0 && errno == EINTR) continue;
    // A file being written may not hold its announced bytes yet: it pauses.
    if (n == 0 && limit_ != UINT64_MAX) return false;
    if (n < 0) failure_ = std::strerror(errno);
    ended_ = true;
    return false;
  }
}

bool InputWindow::Ensure(std::size_t count) {
  if (count > kLargest) return false;
  while (filled_ - position_ < count) {
    if (!Fill()) return false;
  }
  return true;
}

bool InputWindow::Skip(std::uint64_t count) {
  while (count > 0) {
    if (Available() == 0 && !Fill()) return false;
    const std::size_t step = static_cast<std::size_t>(std::min<std::uint64_t>(count, Available()));
    position_ += step;
    count -= step;
  }
  return true;
}

}  // namespace qv
