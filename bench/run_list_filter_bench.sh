#!/usr/bin/env bash
# Filtering the packet list of the benchmark capture in the window
# (offscreen), against a plain single-thread match loop over the same
# buffered frames and libpcap reading the file with the same filter.
#
#   bench/run_list_filter_bench.sh [FRAMES] [ROUNDS]   (defaults 1000000, 5)
#
# Goals: 1,000,000 buffered frames filtered in under 1 s; the interface
# thread never stalled longer than 100 ms meanwhile.

set -euo pipefail
cd "$(dirname "$0")/.."
frames=${1:-1000000}
rounds=${2:-5}
build=build/bench

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANET_BUILD_TESTS=OFF > /dev/null
cmake --build "$build" --target make_bench_capture list_filter_bench | tail -n 1

source bench/bench_capture.sh
capture=$(bench_capture "$frames" "$build/bench/make_bench_capture")
cat "$capture" > /dev/null

echo "QT_QPA_PLATFORM=offscreen $build/bench/list_filter_bench $capture $rounds"
QT_QPA_PLATFORM=offscreen "$build/bench/list_filter_bench" "$capture" "$rounds" 2> /dev/null
