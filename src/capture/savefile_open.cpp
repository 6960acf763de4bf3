#include "capture/savefile_open.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

namespace qv {

pcap_t* OpenSavefile(const std::string& path, char* errbuf, SavefileBuffer& buffer) {
  if (path == "-") return pcap_open_offline(path.c_str(), errbuf);
  std::FILE* file = std::fopen(path.c_str(), "rbe");
  if (file == nullptr) {
    // The words libpcap itself would use.
    std::snprintf(errbuf, PCAP_ERRBUF_SIZE, "%s: %s", path.c_str(), std::strerror(errno));
    return nullptr;
  }
  // glibc ignores the size unless it is given the buffer itself. Without
  // the larger buffer the file is still read, only more slowly.
  if (!buffer.bytes) buffer.bytes.reset(new (std::nothrow) char[SavefileBuffer::kSize]);
  if (buffer.bytes) (void)std::setvbuf(file, buffer.bytes.get(), _IOFBF, SavefileBuffer::kSize);
  pcap_t* handle = pcap_fopen_offline(file, errbuf);
  if (handle == nullptr) std::fclose(file);  // on success the handle owns the file
  return handle;
}

}  // namespace qv
