#!/usr/bin/env bash
# Logging under a burst on a veth pair, inside a network namespace this
# script makes for itself (named after its process id) and removes at the
# end. Needs root (or CAP_NET_ADMIN and CAP_NET_RAW).
#
#   bench/run_log_bench.sh [FRAMES] [REPS]      (defaults 200000 and 5)
#
# Prints each run (logging off and on in turn) and the median and best
# capture rate of each, with the lag of the log behind the capture.

set -euo pipefail

cd "$(dirname "$0")/.."
frames=${1:-200000}
reps=${2:-5}
build=build/release
ns="qvlog$$"

cmake --preset release > /dev/null
cmake --build "$build" --target log_burst_bench quorvanet-capture | tail -n 1
# The session captures through the capture helper, which is not beside the benchmark.
export QUORVANET_CAPTURE_HELPER=$PWD/$build/src/capture_helper/quorvanet-capture

cleanup() { ip netns del "$ns" 2> /dev/null || true; }
trap cleanup EXIT
source bench/veth_namespace.sh
make_veth_namespace "$ns"
logs=$(mktemp -d)
trap 'cleanup; rm -rf "$logs"' EXIT
ip netns exec "$ns" "$build/bench/log_burst_bench" "$frames" "$reps" "$logs"
