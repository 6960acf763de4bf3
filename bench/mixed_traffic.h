#pragma once
// The mixed shape of the benchmark capture: traffic as a sniffer on a trunk
// between many small networks sees it, with frames of every size from 60 to
// 1400 bytes and thousands of short conversations at once, so that a
// conversation table of 30 rows keeps giving its rows to new pairs.

#include <cstdint>

#include "bench/capture_output.h"

namespace qv::bench {

// Writes `frames` frames of the mixed shape; the same count gives the same
// frames. Prints a line about what was written on stderr.
void WriteMixedTraffic(CaptureOutput& out, std::uint64_t frames);

}  // namespace qv::bench
