#include "capture/live_open.h"

#include <sys/stat.h>

#include <fstream>
#include <string>

namespace qv {

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
