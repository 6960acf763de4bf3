#!/usr/bin/env bash
# Display filters on the packet list of the benchmark capture in the window
# (offscreen): three display filters beside the capture-filter language's
# "tcp port 443", each with the median and the best of ROUNDS runs, the
# longest interface stall and the time Cancel takes.
#
#   bench/run_display_filter_bench.sh [FRAMES] [ROUNDS]   (defaults 1000000, 5)
#
# Goals: every display filter within 1.0 s median and within 4 times the
# capture filter; no stall over 100 ms; Cancel within 100 ms.

set -euo pipefail
cd "$(dirname "$0")/.."
frames=${1:-1000000}
rounds=${2:-5}
build=build/bench

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANET_BUILD_TESTS=OFF > /dev/null
cmake --build "$build" --target make_bench_capture display_filter_bench | tail -n 1

source bench/bench_capture.sh
capture=$(bench_capture "$frames" "$build/bench/make_bench_capture")
cat "$capture" > /dev/null

echo "QT_QPA_PLATFORM=offscreen $build/bench/display_filter_bench $capture $rounds"
QT_QPA_PLATFORM=offscreen "$build/bench/display_filter_bench" "$capture" "$rounds" 2> /dev/null
