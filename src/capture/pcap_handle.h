#pragma once
// Owners of capture-library handles: each closed exactly once.

#include <pcap/pcap.h>

#include <memory>

namespace qv {

struct PcapCloser {
  void operator()(pcap_t* p) const { pcap_close(p); }
};
using PcapHandle = std::unique_ptr<pcap_t, PcapCloser>;

}  // namespace qv
