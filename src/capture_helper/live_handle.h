#pragma once
// Opening an adapter with libpcap, and what the helper reads about the open
// handle before the system-call allow-list shuts it off from /proc and /sys.

#include <pcap/pcap.h>

#include <cstdint>
#include <string>

namespace qv::helper {

struct LiveRequest {
  std::string adapter;
  int snaplen = 65536;
  bool promisc = false;
  int timeoutMs = 100;
  std::uint64_t bufferBytes = 0;  // 0: the library's default
  bool nanoseconds = true;
};

struct LiveHandle {
  pcap_t* handle = nullptr;  // null on failure; the caller owns it
  std::string error;
  std::string warning;
  bool bufferRefused = false;  // opened, but with the library's default buffer
};

LiveHandle OpenLive(const LiveRequest& request);

// The size of the kernel ring mapped for the handle, from /proc/self/maps;
// 0 when it cannot be told.
std::uint64_t KernelBufferInForce(pcap_t* handle);

// The adapter's own receive drops (rx_missed_errors + rx_fifo_errors in
// /sys), read through descriptors opened while files may still be opened.
class InterfaceDropCounter {
 public:
  explicit InterfaceDropCounter(const std::string& adapter);
  ~InterfaceDropCounter();
  InterfaceDropCounter(const InterfaceDropCounter&) = delete;
  InterfaceDropCounter& operator=(const InterfaceDropCounter&) = delete;
  // Drops since the counter was made.
  std::uint64_t SinceStart() const;

 private:
  std::uint64_t Now() const;
  int fds_[2] = {-1, -1};
  std::uint64_t base_ = 0;
};

// The adapter's MTU (SIOCGIFMTU), 0 when it cannot be told.
int AdapterMtu(pcap_t* handle, const std::string& adapter);

}  // namespace qv::helper
