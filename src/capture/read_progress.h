#pragma once
// How far the reading of a file has got, for a progress bar.

#include <cstdint>

namespace qv {

struct ReadProgress {
  enum class Stage { Decompressing, Reading };
  Stage stage = Stage::Reading;
  std::uint64_t done = 0;   // input bytes behind
  std::uint64_t total = 0;  // input bytes in all; 0 when unknown (a pipe)
};

}  // namespace qv
