#pragma once
// How far the reading of a file has got, for a progress bar.

#include <cstdint>
#include <optional>

namespace qv {

struct ReadProgress {
  enum class Stage { Decompressing, Reading };
  Stage stage = Stage::Reading;
  std::uint64_t done = 0;   // input bytes behind
  std::uint64_t total = 0;  // input bytes in all; 0 when unknown (a pipe)
};

// The seconds a stage still needs at the pace of its first `elapsed`
// seconds; none before a second has passed or when the total is unknown.
inline std::optional<double> SecondsLeft(const ReadProgress& p, double elapsed) {
  if (elapsed < 1.0 || p.total == 0 || p.done == 0 || p.done > p.total) return std::nullopt;
  return elapsed * static_cast<double>(p.total - p.done) / static_cast<double>(p.done);
}

}  // namespace qv
