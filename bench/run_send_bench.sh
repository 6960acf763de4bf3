#!/usr/bin/env bash
# Sending speed: the send job (count 0, gap 0), which sends through the
# capture helper (quorvanet-capture, built here), against a bare packet socket,
# on one end of a veth pair inside a network namespace made for this run
# (and removed at its end). Frames go nowhere else.
#
#   bench/run_send_bench.sh [SECONDS_PER_RUN] [REPS]      (defaults 2 and 5)
#
# Needs root (or CAP_NET_ADMIN and CAP_NET_RAW). Always exits 0 once the
# measurements ran; the goal line says PASS or MISS.

set -euo pipefail

cd "$(dirname "$0")/.."
seconds=${1:-2}
reps=${2:-5}
build=build/bench
ns=qvsbench$$

echo "== build (Release, $build)"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANET_BUILD_TESTS=OFF > /dev/null
cmake --build "$build" --target send_rate_bench quorvanet-capture | tail -n 1
# The benchmark program is not beside the helper's folder: it is named.
export QUORVANET_CAPTURE_HELPER=$PWD/$build/src/capture_helper/quorvanet-capture

trap 'ip netns del "$ns" 2> /dev/null || true' EXIT
source bench/veth_namespace.sh
make_veth_namespace "$ns"

commit=$(git rev-parse --short HEAD 2> /dev/null || echo unknown)
echo "== commit $commit, $(nproc) cores, veth qv1 -> qv0 in namespace $ns, ${seconds}s a run, $reps runs each"
echo "== command: bench/run_send_bench.sh $seconds $reps"
ip netns exec "$ns" "$build/bench/send_rate_bench" qv1 "$seconds" "$reps"
