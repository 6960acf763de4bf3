#include "capture_helper/live_handle.h"

#include <fcntl.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace qv::helper {
namespace {

std::string StatusText(pcap_t* handle, int status) {
  const char* text = pcap_geterr(handle);
  if (text && text[0]) return text;
  return pcap_statustostr(status);
}

pcap_t* Create(const LiveRequest& request, bool withBuffer, LiveHandle& out) {
  char errbuf[PCAP_ERRBUF_SIZE] = {};
  pcap_t* handle = pcap_create(request.adapter.c_str(), errbuf);
  if (!handle) {
    out.error = errbuf;
    return nullptr;
  }
  pcap_set_snaplen(handle, request.snaplen);
  pcap_set_promisc(handle, request.promisc ? 1 : 0);
  pcap_set_timeout(handle, request.timeoutMs);
  if (request.nanoseconds) pcap_set_tstamp_precision(handle, PCAP_TSTAMP_PRECISION_NANO);
  if (withBuffer && request.bufferBytes != 0) {
    pcap_set_buffer_size(handle, static_cast<int>(std::min<std::uint64_t>(request.bufferBytes, INT_MAX)));
  }
  const int status = pcap_activate(handle);
  if (status < 0) {
    out.error = StatusText(handle, status);
    pcap_close(handle);
    return nullptr;
  }
  if (status > 0) out.warning = StatusText(handle, status);
  return handle;
}

}  // namespace

LiveHandle OpenLive(const LiveRequest& request) {
  LiveHandle out;
  out.handle = Create(request, true, out);
  if (!out.handle && request.bufferBytes != 0) {
    // The kernel may refuse a ring that large (memory limits): the library's
    // default is better than no capture.
    LiveHandle retry;
    retry.handle = Create(request, false, retry);
    if (retry.handle) {
      retry.bufferRefused = true;
      return retry;
    }
  }
  return out;
}

std::uint64_t KernelBufferInForce(pcap_t* handle) {
  const int fd = pcap_fileno(handle);
  struct stat st {};
  if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISSOCK(st.st_mode)) return 0;
  // The ring is mapped from the socket: its mappings carry the socket's name.
  char name[64];
  std::snprintf(name, sizeof name, "socket:[%llu]", static_cast<unsigned long long>(st.st_ino));
  std::FILE* maps = std::fopen("/proc/self/maps", "re");
  if (!maps) return 0;
  std::uint64_t total = 0;
  char line[512];
  while (std::fgets(line, sizeof line, maps)) {
    if (!std::strstr(line, name)) continue;
    unsigned long long from = 0, to = 0;
    if (std::sscanf(line, "%llx-%llx", &from, &to) == 2 && to > from) total += to - from;
  }
  std::fclose(maps);
  return total;
}

InterfaceDropCounter::InterfaceDropCounter(const std::string& adapter) {
  if (adapter.empty() || adapter.find('/') != std::string::npos || adapter == "." || adapter == "..") return;
  const char* names[2] = {"rx_missed_errors", "rx_fifo_errors"};
  for (int i = 0; i < 2; ++i) {
    const std::string path = "/sys/class/net/" + adapter + "/statistics/" + names[i];
    fds_[i] = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  }
  base_ = Now();
}

InterfaceDropCounter::~InterfaceDropCounter() {
  for (int fd : fds_) {
    if (fd >= 0) ::close(fd);
  }
}

std::uint64_t InterfaceDropCounter::Now() const {
  std::uint64_t total = 0;
  for (int fd : fds_) {
    if (fd < 0) continue;
    char text[32] = {};
    const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
    if (n > 0) total += std::strtoull(text, nullptr, 10);
  }
  return total;
}

std::uint64_t InterfaceDropCounter::SinceStart() const {
  const std::uint64_t now = Now();
  return now >= base_ ? now - base_ : 0;
}

int AdapterMtu(pcap_t* handle, const std::string& adapter) {
  ifreq request{};
  if (adapter.size() >= sizeof request.ifr_name) return 0;
  std::memcpy(request.ifr_name, adapter.c_str(), adapter.size() + 1);
  const int fd = pcap_fileno(handle);
  if (fd < 0 || ::ioctl(fd, SIOCGIFMTU, &request) != 0 || request.ifr_mtu <= 0) return 0;
  return request.ifr_mtu;
}

}  // namespace qv::helper
