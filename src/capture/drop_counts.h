#pragma once
// Frames a live capture lost, by where they were lost.

#include <cstdint>
#include <string>
#include <vector>

namespace qv {

// One source's share of a run's drops.
struct SourceDrops {
  std::string source;  // as the source is named to the user
  std::uint64_t kernel = 0;
  std::uint64_t interface = 0;
  bool known = false;  // the source has reported its counters
  bool operator==(const SourceDrops&) const = default;
};

struct DropCounts {
  std::uint64_t kernel = 0;     // the kernel's capture buffer was full (ps_drop)
  std::uint64_t interface = 0;  // the adapter or its driver dropped them (ps_ifdrop)
  std::uint64_t ours = 0;       // read, but the capture thread had to give them up
  bool known = false;           // a live capture has reported its counters
  // Per source of a live run, in the order they were given (kernel and
  // interface above are their sums).
  std::vector<SourceDrops> sources;

  std::uint64_t Total() const { return kernel + interface + ours; }
  bool operator==(const DropCounts&) const = default;
};

}  // namespace qv
