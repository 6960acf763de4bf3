// Reads the log files of a folder back through the capture library, as any
// other program would, and counts their frames. A file that does not end
// cleanly after its last whole record (a truncated record, a damaged header)
// is named. The frames of burst_sender carry a sequence number at offset 42:
// the distinct numbers and the repeated ones are counted too.
//
//   log_readback DIRECTORY
//
// Prints "files N", "frames N", "distinct N", "repeated N", "damaged N" and
// one "damaged: FILE: REASON" line per damaged file; exits 1 when a file is
// damaged or cannot be opened.

#include <pcap/pcap.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: log_readback DIRECTORY\n");
    return 2;
  }
  std::vector<std::string> paths;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(argv[1], ec)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("sniffed_", 0) == 0 && entry.path().extension() == ".log") paths.push_back(entry.path().string());
  }
  if (ec) {
    std::fprintf(stderr, "log_readback: %s: %s\n", argv[1], ec.message().c_str());
    return 2;
  }
  std::sort(paths.begin(), paths.end());

  std::uint64_t frames = 0, distinct = 0, repeated = 0, damaged = 0;
  std::vector<bool> seen;
  for (const std::string& path : paths) {
    char errbuf[PCAP_ERRBUF_SIZE] = {};
    pcap_t* p = pcap_open_offline(path.c_str(), errbuf);
    if (p == nullptr) {
      ++damaged;
      std::printf("damaged: %s: %s\n", path.c_str(), errbuf);
      continue;
    }
    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    int result;
    while ((result = pcap_next_ex(p, &header, &data)) == 1) {
      ++frames;
      if (header->caplen < 46) continue;
      const std::uint32_t seq = static_cast<std::uint32_t>(data[42]) << 24 | data[43] << 16 | data[44] << 8 | data[45];
      if (seq >= seen.size()) seen.resize(std::max<std::size_t>(seq + 1, seen.size() * 2));
      if (seen[seq]) {
        ++repeated;
      } else {
        seen[seq] = true;
        ++distinct;
      }
    }
    if (result != PCAP_ERROR_BREAK) {  // not the clean end of the file
      ++damaged;
      std::printf("damaged: %s: %s\n", path.c_str(), pcap_geterr(p));
    }
    pcap_close(p);
  }
  std::printf("files %zu\nframes %llu\ndistinct %llu\nrepeated %llu\ndamaged %llu\n", paths.size(),
              static_cast<unsigned long long>(frames), static_cast<unsigned long long>(distinct),
              static_cast<unsigned long long>(repeated), static_cast<unsigned long long>(damaged));
  return damaged == 0 ? 0 : 1;
}
