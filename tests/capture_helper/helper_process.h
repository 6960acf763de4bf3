#pragma once
// Starts the capture helper as its parents do: a socketpair end as fd 3, the
// output file (when given) as fd 4, stdin /dev/null; optionally inside a
// network namespace through `ip netns exec`. Reads its messages with bounded
// waits.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "capture_helper/control_protocol.h"

extern char** environ;

namespace qv::testing {

struct HelperExit {
  bool exited = false;  // false: still running after the wait, or killed by a signal
  int code = -1;
  int signal = 0;
};

class HelperProcess {
 public:
  HelperProcess() = default;
  ~HelperProcess() {
    CloseControl();
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  HelperProcess(const HelperProcess&) = delete;
  HelperProcess& operator=(const HelperProcess&) = delete;

  // outputFd < 0: no fd 4. withControl false: no fd 3 either.
  bool Start(const std::vector<std::string>& args, int outputFd = -1, const std::string& netns = {},
             bool withControl = true) {
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return false;
    control_ = pair[0];
    // Out of the way of 3 and 4 before they are laid out for the child.
    const int child = ::fcntl(pair[1], F_DUPFD_CLOEXEC, 100);
    ::close(pair[1]);
    const int out = outputFd >= 0 ? ::fcntl(outputFd, F_DUPFD_CLOEXEC, 100) : -1;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (withControl) posix_spawn_file_actions_adddup2(&actions, child, 3);
    if (out >= 0) posix_spawn_file_actions_adddup2(&actions, out, 4);

    std::vector<std::string> argv;
    if (!netns.empty()) argv = {"ip", "netns", "exec", netns};
    argv.push_back(QUORVANET_CAPTURE_HELPER_PATH);
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> raw;
    for (std::string& a : argv) raw.push_back(a.data());
    raw.push_back(nullptr);
    const int rc = netns.empty() ? ::posix_spawn(&pid_, raw[0], &actions, nullptr, raw.data(), environ)
                                 : ::posix_spawnp(&pid_, raw[0], &actions, nullptr, raw.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(child);
    if (out >= 0) ::close(out);
    if (rc != 0) pid_ = -1;
    return rc == 0;
  }

  pid_t Pid() const { return pid_; }
  int Control() const { return control_; }

  bool Send(const std::vector<std::uint8_t>& message, int passFd = -1) const {
    return control::SendMessage(control_, message, passFd);
  }

  void CloseControl() {
    if (control_ >= 0) ::close(control_);
    control_ = -1;
  }

  // Reads until a message of `type` arrives that was not answered before
  // (each type is taken in order; every message is kept in Seen()), the
  // helper closes its end, or the time is up.
  std::optional<control::Message> WaitFor(control::MessageType type,
                                          std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
      std::size_t& next = taken_[static_cast<std::uint32_t>(type)];
      for (; next < seen_.size(); ++next) {
        if (seen_[next].type == type) return seen_[next++];
      }
      if (ended_ || !ReadOnce(deadline)) return std::nullopt;
    }
  }

  // Reads until the helper closes its end (or the time is up); true at the end.
  bool ReadToEnd(std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!ended_ && ReadOnce(deadline)) {
    }
    return ended_;
  }

  const std::vector<control::Message>& Seen() const { return seen_; }
  const control::MessageDecoder& Decoder() const { return decoder_; }

  std::vector<control::Message> SeenOf(control::MessageType type) const {
    std::vector<control::Message> out;
    for (const auto& m : seen_) {
      if (m.type == type) out.push_back(m);
    }
    return out;
  }

  // The first Error's text, or "".
  std::string ErrorText() const {
    for (const auto& m : seen_) {
      if (m.type == control::MessageType::Error) {
        auto e = control::Error::Decode(m.payload);
        return e ? e->text : "(damaged Error)";
      }
    }
    return {};
  }

  HelperExit Wait(std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    HelperExit result;
    if (pid_ <= 0) return result;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    for (;;) {
      const pid_t r = ::waitpid(pid_, &status, WNOHANG);
      if (r == pid_) break;
      if (r < 0 || std::chrono::steady_clock::now() >= deadline) return result;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    pid_ = -1;
    if (WIFEXITED(status)) {
      result.exited = true;
      result.code = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
      result.signal = WTERMSIG(status);
    }
    return result;
  }

  // "CapEff", "CapPrm", "Seccomp", "NoNewPrivs" ... of /proc/PID/status.
  std::string Status(const std::string& field) const {
    std::ifstream in("/proc/" + std::to_string(pid_) + "/status");
    std::string line;
    while (std::getline(in, line)) {
      if (line.rfind(field + ":", 0) == 0) {
        const std::size_t at = line.find_first_not_of(" \t", field.size() + 1);
        return at == std::string::npos ? std::string() : line.substr(at);
      }
    }
    return {};
  }

 private:
  bool ReadOnce(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || control_ < 0) return false;
    pollfd p{control_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
    const long n = control::ReadSome(control_, decoder_);
    if (n <= 0) {
      ended_ = true;
    }
    while (auto m = decoder_.Next()) seen_.push_back(std::move(*m));
    return true;
  }

  pid_t pid_ = -1;
  int control_ = -1;
  control::MessageDecoder decoder_;
  std::vector<control::Message> seen_;
  std::map<std::uint32_t, std::size_t> taken_;
  bool ended_ = false;
};

// Whether this process may open a packet socket (capture and send).
inline bool MayCapture() {
  const int fd = ::socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

}  // namespace qv::testing
