#pragma once
// Frames a live capture lost, by where they were lost.

#include <cstdint>

namespace qv {

struct DropCounts {
  std::uint64_t kernel = 0;     // the kernel's capture buffer was full (ps_drop)
  std::uint64_t interface = 0;  // the adapter or its driver dropped them (ps_ifdrop)
  std::uint64_t ours = 0;       // read, but the capture thread had to give them up
  bool known = false;           // a live capture has reported its counters

  std::uint64_t Total() const { return kernel + interface + ours; }
  bool operator==(const DropCounts&) const = default;
};

}  // namespace qv
