#pragma once
// The helper's end of the control channel (fd 3): messages in through the
// stream decoder, with the descriptor a Rotate carries; messages out either
// blocking (the few that must arrive) or offered (progress that the next one
// supersedes, dropped when the socket is full: the helper never waits on its
// parent for those).

#include <optional>
#include <span>
#include <string>

#include "capture_helper/control_protocol.h"

namespace qv::helper {

class Channel {
 public:
  explicit Channel(int fd) : fd_(fd) {}
  ~Channel();
  Channel(const Channel&) = delete;
  Channel& operator=(const Channel&) = delete;

  int Fd() const { return fd_; }

  // Blocking; false when the parent is gone.
  bool Must(std::span<const std::uint8_t> message) const { return control::SendMessage(fd_, message); }
  // Never waits; false only when the parent is gone (a full socket drops it).
  bool Offer(std::span<const std::uint8_t> message) const;
  // An Error message (blocking).
  bool SendError(const std::string& text) const { return Must(control::Error{text}.Encode()); }
  bool SendWarning(const std::string& text) const { return Must(control::Warning{text}.Encode()); }

  // One read from the socket. False when the parent closed its end or the
  // socket failed: the helper then ends at once.
  bool Read();
  std::optional<control::Message> Next() { return decoder_.Next(); }
  // The decoder met a message it refuses, or a second descriptor came before
  // the first was taken; Error() says which.
  bool Failed() const { return decoder_.Failed() || !error_.empty(); }
  std::string Error() const { return decoder_.Failed() ? decoder_.Error() : error_; }
  // The descriptor that came with a Rotate, -1 when none did; the caller owns it.
  int TakeDescriptor();

 private:
  int fd_;
  control::MessageDecoder decoder_;
  int pendingFd_ = -1;
  std::string error_;
};

}  // namespace qv::helper
