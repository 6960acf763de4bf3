#pragma once
// Writes test frames to a libpcap savefile (Ethernet, one fixed time stamp).

#include <gtest/gtest.h>
#include <pcap/pcap.h>

#include <cstdint>
#include <string>
#include <vector>

namespace qv::testing {

inline void WriteEthernetSavefile(const std::string& path, const std::vector<std::vector<std::uint8_t>>& frames) {
  pcap_t* dead = pcap_open_dead(DLT_EN10MB, 65535);
  ASSERT_NE(dead, nullptr);
  pcap_dumper_t* out = pcap_dump_open(dead, path.c_str());
  ASSERT_NE(out, nullptr) << pcap_geterr(dead);
  for (const std::vector<std::uint8_t>& f : frames) {
    pcap_pkthdr h{};
    h.ts.tv_sec = 1120622255;
    h.ts.tv_usec = 938066;
    h.caplen = h.len = static_cast<bpf_u_int32>(f.size());
    pcap_dump(reinterpret_cast<u_char*>(out), &h, f.data());
  }
  pcap_dump_close(out);
  pcap_close(dead);
}

}  // namespace qv::testing
