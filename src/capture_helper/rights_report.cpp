#include "capture_helper/rights_report.h"

#include <linux/if_ether.h>
#include <sys/capability.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string>

#include "capture_helper/sandbox.h"

namespace qv::helper {
namespace {

std::string OwnPath() {
  char path[PATH_MAX] = {};
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  return n > 0 ? std::string(path, static_cast<std::size_t>(n)) : std::string("quorvanet-capture");
}

}  // namespace

control::Rights ReportRights() {
  control::Rights out;
  if (cap_t caps = cap_get_proc()) {
    cap_flag_value_t value = CAP_CLEAR;
    if (cap_get_flag(caps, CAP_NET_RAW, CAP_PERMITTED, &value) == 0 && value == CAP_SET) {
      out.flags |= control::Rights::kNetRawPermitted;
    }
    if (cap_get_flag(caps, CAP_NET_RAW, CAP_EFFECTIVE, &value) == 0 && value == CAP_SET) {
      out.flags |= control::Rights::kNetRawEffective;
    }
    cap_free(caps);
  }
  // Protocol 0: the socket receives nothing; it only shows whether one opens.
  std::string socketError;
  const int fd = ::socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, 0);
  if (fd >= 0) {
    out.flags |= control::Rights::kPacketSocketOpens;
    ::close(fd);
  } else {
    socketError = std::strerror(errno);
  }
  if (SandboxAvailable()) out.flags |= control::Rights::kSeccompAvailable;
  if (::geteuid() == 0) out.flags |= control::Rights::kRunningAsRoot;

  const std::string path = OwnPath();
  if (out.flags & control::Rights::kPacketSocketOpens) {
    out.detail = path + " can capture";
    if (out.flags & control::Rights::kRunningAsRoot) {
      out.detail += " (running as root)";
    } else {
      out.detail += " (cap_net_raw)";
    }
    if (!(out.flags & control::Rights::kSeccompAvailable)) {
      out.detail += ", but seccomp is not available, so it will refuse to run";
    }
  } else if (out.flags & control::Rights::kNetRawPermitted) {
    out.detail = path + " holds cap_net_raw but cannot open a packet socket: " + socketError;
  } else {
    out.detail = path + " lacks cap_net_raw; give it with: sudo setcap cap_net_raw=ep " + path;
  }
  return out;
}

}  // namespace qv::helper
