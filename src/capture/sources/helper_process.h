#pragma once
// Starting the capture helper (quorvanet-capture) and talking to it. The
// helper is found beside the program (see FindCaptureHelper), started without
// a shell with one end of a socket pair as its descriptor 3 (the control
// channel) and, for a capture, its output file as descriptor 4; nothing else
// of this process reaches it. It is killed and reaped when this object goes.
//
// Used by one thread at a time.

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "capture_helper/control_protocol.h"

namespace qv {

// The environment variable that names the helper to start, before the places
// beside the program are looked at.
inline constexpr const char* kCaptureHelperVariable = "QUORVANET_CAPTURE_HELPER";

// The helper's path: $QUORVANET_CAPTURE_HELPER when set, else the first of
// <exe dir>/../lib/quorvanet/quorvanet-capture, <exe dir>/quorvanet-capture
// and <exe dir>/../capture_helper/quorvanet-capture that is a file. Empty when there is none; `looked` then lists where it was looked for.
std::string FindCaptureHelper(std::vector<std::string>* looked = nullptr);

// The text for a helper that could not be found or started.
std::string HelperMissingText(const std::vector<std::string>& looked);

class HelperProcess {
 public:
  // Starts the helper found by FindCaptureHelper with `arguments` (after
  // the program name). `outputFd` (>= 0) becomes its descriptor 4. Null with
  // the reason in `error` when it cannot be started.
  static std::unique_ptr<HelperProcess> Start(const std::vector<std::string>& arguments, int outputFd,
                                              std::string& error);
  ~HelperProcess();  // kills the helper if it still runs, and reaps it
  HelperProcess(const HelperProcess&) = delete;
  HelperProcess& operator=(const HelperProcess&) = delete;

  pid_t Pid() const { return pid_; }
  const std::string& Path() const { return path_; }

  // Sends one whole message (header and payload, as a payload's Encode()
  // makes it), with a descriptor travelling with it when >= 0; false when
  // the helper is gone.
  bool SendEncoded(std::span<const std::uint8_t> message, int passFd = -1);
  template <typename Payload>
  bool Send(const Payload& message, int passFd = -1) {
    return SendEncoded(message.Encode(), passFd);
  }

  enum class Read {
    Messages,  // messages were added to `out`
    Nothing,   // nothing arrived within the wait
    Closed,    // the helper closed its end (it ended) at a message boundary
    Broken,    // the stream is damaged or cut short; Problem() says how
  };
  // Waits up to `wait` for the helper to say something, then takes every
  // whole message that has arrived.
  Read Receive(std::chrono::milliseconds wait, std::vector<control::Message>& out);
  const std::string& Problem() const { return problem_; }

  // Reaps the helper when it has ended, without waiting; true once it has.
  bool Reaped();
  // Waits up to `limit` for the helper to end, then kills it; true when it
  // ended by itself.
  bool WaitForExit(std::chrono::milliseconds limit);
  // Its exit code when it exited normally; none when it was killed or runs.
  std::optional<int> ExitCode() const { return exitCode_; }
  // The signal that ended it, 0 when none did.
  int KilledBy() const { return signal_; }
  void Kill();

 private:
  HelperProcess() = default;

  pid_t pid_ = -1;
  int control_ = -1;
  std::string path_;
  bool reaped_ = false;
  std::optional<int> exitCode_;
  int signal_ = 0;
  control::MessageDecoder decoder_;
  bool closed_ = false;
  std::string problem_;
};

}  // namespace qv
