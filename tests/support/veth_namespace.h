#pragma once
// A veth pair qv0/qv1 inside a network namespace that a live test makes for
// itself (named with the process id, so parallel runs never collide), and a
// packet socket that writes frames onto qv1. No frame leaves the pair.

#include <fcntl.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <utility>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "framegen/frame_builder.h"

namespace qv::testing {

using framegen::Bytes;

// Runs a command; its output when it fails.
inline bool Run(const std::string& command, std::string* output) {
  std::FILE* p = ::popen((command + " 2>&1").c_str(), "r");
  if (p == nullptr) {
    *output = "popen failed";
    return false;
  }
  output->clear();
  char chunk[256];
  while (std::fgets(chunk, sizeof chunk, p) != nullptr) *output += chunk;
  return ::pclose(p) == 0;
}

// A namespace holding the veth pair qv0/qv1, both up; removed with the object.
// Its name is the prefix and the process id, so parallel runs never collide.
class VethNamespace {
 public:
  explicit VethNamespace(std::string prefix = "qvcap") : prefix_(std::move(prefix)), name_(prefix_ + std::to_string(::getpid())) {}
  ~VethNamespace() {
    Leave();
    if (made_) {
      std::string ignored;
      Run("ip netns del " + name_, &ignored);
    }
  }
  VethNamespace(const VethNamespace&) = delete;
  VethNamespace& operator=(const VethNamespace&) = delete;
  const std::string& Name() const { return name_; }

  // Empty on success, else why the pair could not be made.
  std::string Make() {
    RemoveLeftovers();
    std::string out;
    if (!Run("ip netns add " + name_, &out)) return "cannot create a network namespace: " + out;
    made_ = true;
    const std::string in = "ip -n " + name_ + " ";
    if (!Run(in + "link add qv0 address 02:51:56:00:00:10 type veth peer name qv1 address 02:51:56:00:00:11",
             &out) ||
        !Run(in + "link set qv0 up", &out) || !Run(in + "link set qv1 up", &out)) {
      return "cannot set up a veth pair: " + out;
    }
    return {};
  }

  // Moves the calling thread (and the threads it starts) into the namespace.
  std::string Enter() {
    home_ = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    const int ns = ::open(("/run/netns/" + name_).c_str(), O_RDONLY | O_CLOEXEC);
    if (home_ < 0 || ns < 0 || ::setns(ns, CLONE_NEWNET) != 0) {
      if (ns >= 0) ::close(ns);
      return "cannot enter the namespace";
    }
    ::close(ns);
    return {};
  }
  void Leave() {
    if (home_ < 0) return;
    if (::setns(home_, CLONE_NEWNET) != 0) std::abort();  // never go on in the test namespace
    ::close(home_);
    home_ = -1;
  }

 private:
  // Namespaces of earlier runs that were killed before they could clean up.
  void RemoveLeftovers() const {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/run/netns", ec)) {
      const std::string name = entry.path().filename().string();
      if (name.rfind(prefix_, 0) != 0 || name.size() == prefix_.size()) continue;
      const std::string digits = name.substr(prefix_.size());
      if (digits.find_first_not_of("0123456789") != std::string::npos) continue;
      const long pid = std::strtol(digits.c_str(), nullptr, 10);
      if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
      std::string ignored;
      Run("ip netns del " + name, &ignored);
    }
  }

  std::string prefix_;
  std::string name_;
  bool made_ = false;
  int home_ = -1;
};

// A second namespace of the test's own, for the far end of the pair: with
// both ends in one namespace the kernel would deliver traffic between their
// addresses through its loopback instead of across the pair. Removed with the
// object.
class PeerNamespace {
 public:
  explicit PeerNamespace(const std::string& prefix) : name_(prefix + std::to_string(::getpid())) {}
  ~PeerNamespace() {
    if (!made_) return;
    std::string ignored;
    Run("ip netns del " + name_, &ignored);
  }
  PeerNamespace(const PeerNamespace&) = delete;
  PeerNamespace& operator=(const PeerNamespace&) = delete;
  const std::string& Name() const { return name_; }

  // Makes the namespace and moves interface `link` of namespace `from` into
  // it, up; empty on success, else why not.
  std::string TakeLink(const std::string& from, const std::string& link) {
    std::string out;
    if (!Run("ip netns add " + name_, &out)) return "cannot create a network namespace: " + out;
    made_ = true;
    if (!Run("ip -n " + from + " link set " + link + " netns " + name_, &out) ||
        !Run("ip -n " + name_ + " link set " + link + " up", &out)) {
      return "cannot move " + link + ": " + out;
    }
    return {};
  }

  // Runs `work` with the calling thread inside the namespace.
  template <class Work>
  bool RunInside(Work&& work) const {
    const int home = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    const int ns = ::open(("/run/netns/" + name_).c_str(), O_RDONLY | O_CLOEXEC);
    const bool entered = home >= 0 && ns >= 0 && ::setns(ns, CLONE_NEWNET) == 0;
    if (entered) work();
    if (entered && ::setns(home, CLONE_NEWNET) != 0) std::abort();  // never go on in the test namespace
    if (ns >= 0) ::close(ns);
    if (home >= 0) ::close(home);
    return entered;
  }

 private:
  std::string name_;
  bool made_ = false;
};

// Writes raw Ethernet frames onto qv1 (created inside the namespace).
class FrameSender {
 public:
  // `to`: the hardware address of the other end, qv0.
  explicit FrameSender(const framegen::Mac& to) : fd_(::socket(AF_PACKET, SOCK_RAW, 0)), to_(to) {}  // protocol 0: sends, receives nothing
  ~FrameSender() {
    if (fd_ >= 0) ::close(fd_);
  }
  FrameSender(const FrameSender&) = delete;
  FrameSender& operator=(const FrameSender&) = delete;

  bool Send(const Bytes& frame) const {
    sockaddr_ll to{};
    to.sll_family = AF_PACKET;
    to.sll_ifindex = static_cast<int>(::if_nametoindex("qv1"));
    to.sll_halen = 6;
    std::copy(to_.begin(), to_.end(), to.sll_addr);
    return to.sll_ifindex != 0 && ::sendto(fd_, frame.data(), frame.size(), 0, reinterpret_cast<sockaddr*>(&to),
                                            sizeof to) == static_cast<ssize_t>(frame.size());
  }
  bool Ok() const { return fd_ >= 0; }

 private:
  int fd_;
  framegen::Mac to_;
};

}  // namespace qv::testing
