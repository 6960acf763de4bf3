#pragma once
// Reading log files back as any other program would: the log files of a
// folder in name order, and the frames of each through the capture library.

#include <pcap/pcap.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "framegen/frame_builder.h"

namespace qv::testing {

// The names (not paths) of the "sniffed_*.log" files in `directory`, sorted.
inline std::vector<std::string> LogFilesIn(const std::string& directory) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(directory, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("sniffed_", 0) == 0) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

struct LogContents {
  bool readable = false;
  int linkType = -1;
  std::vector<framegen::Bytes> frames;
};

inline LogContents ReadLog(const std::string& path) {
  LogContents contents;
  char errbuf[PCAP_ERRBUF_SIZE] = {};
  pcap_t* p = pcap_open_offline(path.c_str(), errbuf);
  if (p == nullptr) return contents;
  contents.linkType = pcap_datalink(p);
  pcap_pkthdr* header = nullptr;
  const u_char* data = nullptr;
  int result;
  while ((result = pcap_next_ex(p, &header, &data)) == 1) contents.frames.emplace_back(data, data + header->caplen);
  contents.readable = result == PCAP_ERROR_BREAK;  // the end, not a damaged record
  pcap_close(p);
  return contents;
}

}  // namespace qv::testing
