#pragma once
// How far the reading of a file has got, for a progress bar.

#include <cmath>
#include <cstdint>
#include <optional>

namespace qv {

struct ReadProgress {
  enum class Stage { Decompressing, Reading };
  Stage stage = Stage::Reading;
  std::uint64_t done = 0;   // input bytes behind
  std::uint64_t total = 0;  // input bytes in all; 0 when unknown (a pipe)
};

// Seconds of reading before a time left is estimated: the first moments
// (opening, the page cache warming) say little about the rate.
inline constexpr double kEstimateAfterSeconds = 1.0;

// The seconds left to read `total` bytes when `done` of them took
// `secondsSpent`, at that rate, rounded up; nothing when it cannot be told
// (no total, nothing read yet, under kEstimateAfterSeconds).
inline std::optional<std::uint64_t> SecondsLeft(std::uint64_t done, std::uint64_t total, double secondsSpent) {
  if (total == 0 || done == 0 || !(secondsSpent >= kEstimateAfterSeconds)) return std::nullopt;
  if (done >= total) return 0;
  const double left = static_cast<double>(total - done) * secondsSpent / static_cast<double>(done);
  // A rate that small would promise longer than anyone waits; say nothing.
  if (!(left < 1e9)) return std::nullopt;
  return static_cast<std::uint64_t>(std::ceil(left));
}

}  // namespace qv
