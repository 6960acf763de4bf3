#include "capture/live_open.h"

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <string>

namespace qv {

namespace {

// The library's own words for a failed or warned activation: its error
// buffer where it wrote one, else the text of the status code.
std::string StatusText(pcap_t* handle, int status) {
  const char* text = pcap_geterr(handle);
  if (text != nullptr && text[0] != '\0') return text;
  return pcap_statustostr(status);
}

pcap_t* Create(const LiveOpenRequest& request, bool withBuffer, LiveOpenResult& result) {
  char errbuf[PCAP_ERRBUF_SIZE] = {};
  pcap_t* handle = pcap_create(request.adapter.c_str(), errbuf);
  if (handle == nullptr) {
    result.error = errbuf;
    return nullptr;
  }
  pcap_set_snaplen(handle, request.snapshotLength);
  pcap_set_promisc(handle, request.promiscuous ? 1 : 0);
  pcap_set_timeout(handle, request.timeoutMs);
  if (withBuffer && request.bufferBytes != 0) {
    const std::uint64_t bytes = std::min<std::uint64_t>(request.bufferBytes, 0x7FFFFFFF);
    pcap_set_buffer_size(handle, static_cast<int>(bytes));
  }
  const int status = pcap_activate(handle);
  if (status < 0) {
    result.error = StatusText(handle, status);
    pcap_close(handle);
    return nullptr;
  }
  if (status > 0) result.warning = StatusText(handle, status);
  return handle;
}

}  // namespace

LiveOpenResult OpenLiveAdapter(const LiveOpenRequest& request) {
  LiveOpenResult result;
  result.handle = Create(request, true, result);
  if (result.handle == nullptr && request.bufferBytes != 0) {
    // The kernel may refuse a ring of that size (memory limits): the
    // library's default is better than no capture at all.
    LiveOpenResult retry;
    retry.handle = Create(request, false, retry);
    if (retry.handle != nullptr) {
      retry.bufferRefused = true;
      return retry;
    }
  }
  return result;
}

std::uint64_t KernelBufferInForce(pcap_t* handle) {
  const int fd = pcap_fileno(handle);
  struct stat st {};
  if (fd < 0 || fstat(fd, &st) != 0 || !S_ISSOCK(st.st_mode)) return 0;
  // The ring is mapped from the socket: its mappings are named after it.
  const std::string name = "socket:[" + std::to_string(st.st_ino) + "]";
  std::ifstream maps("/proc/self/maps");
  std::uint64_t total = 0;
  std::string line;
  while (std::getline(maps, line)) {
    if (line.size() < name.size() || line.compare(line.size() - name.size(), name.size(), name) != 0) continue;
    const std::size_t dash = line.find('-');
    const std::size_t space = line.find(' ');
    if (dash == std::string::npos || space == std::string::npos || space < dash) continue;
    total += std::stoull(line.substr(dash + 1, space - dash - 1), nullptr, 16) -
             std::stoull(line.substr(0, dash), nullptr, 16);
  }
  return total;
}

}  // namespace qv
