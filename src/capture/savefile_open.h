#pragma once
// Opens a savefile for libpcap to read. libpcap reads through stdio, whose
// default buffer of a few kilobytes costs a system call every few frames;
// with a buffer of a megabyte, reading a large file spends its time on the
// frames instead. "-" is standard input, as for pcap_open_offline().

#include <pcap/pcap.h>

#include <cstddef>
#include <memory>
#include <string>

namespace qv {

// The read buffer a savefile's stream uses; it must outlive the handle.
struct SavefileBuffer {
  static constexpr std::size_t kSize = 1 << 20;
  std::unique_ptr<char[]> bytes;
};

// The handle, or null with the reason in `errbuf` (PCAP_ERRBUF_SIZE bytes).
// The stream reads through `buffer` (allocated here when empty), which must
// be kept until the handle is closed; it is not shared between handles.
pcap_t* OpenSavefile(const std::string& path, char* errbuf, SavefileBuffer& buffer);

}  // namespace qv
