#!/usr/bin/env bash
# A capture file larger than the memory the reader may use: quorvanet-cli
# reads the benchmark capture (1,000,000 frames, 775 MB)
#   (1) under `ulimit -v 400000`: 400 MB of address space in all, and
#   (2) when run as root with a memory cgroup, inside one whose limit
#       (LIMIT_MB, default 256) is a third of the file: the page cache of
#       the file is charged to it too, so the file cannot be held whole.
# Each run must count every frame. A file larger than this machine's free
# memory would show the same; the cgroup stands in for a machine that small.
#
#   bench/run_large_file_bench.sh [FRAMES]     (default 1000000)

set -euo pipefail
cd "$(dirname "$0")/.."
frames=${1:-1000000}
limit_mb=${LIMIT_MB:-256}
build=build/bench

echo "== build (Release, $build)"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANET_BUILD_TESTS=OFF > /dev/null
cmake --build "$build" --target make_bench_capture quorvanet-cli | tail -n 1
cli=$build/src/cli/quorvanet-cli
source bench/bench_capture.sh
capture=$(bench_capture "$frames" "$build/bench/make_bench_capture")
size_mb=$(($(stat -c %s "$capture") / 1048576))
echo "== $capture: $size_mb MB; this machine has $(awk '/MemAvailable/ { print int($2 / 1024) }' /proc/meminfo) MB available"

failed=0
check() {
  local what=$1 summary=$2
  read -r got _ <<< "$summary"
  if [[ $got == "$frames" ]]; then
    echo "$what: PASS ($summary)"
  else
    echo "$what: FAIL (read '$summary', expected $frames packets)"
    failed=1
  fi
}

summary=$( (ulimit -v 400000 && "$cli" -q -r "$capture") 2>&1 || true)
check "(1) ulimit -v 400000" "$summary"

if [[ $(id -u) != 0 ]]; then
  echo "(2) memory cgroup: SKIP (needs root)"
elif [[ -d /sys/fs/cgroup/memory && -w /sys/fs/cgroup/memory ]]; then
  group=/sys/fs/cgroup/memory/qvlarge$$
  mkdir "$group"
  trap 'rmdir "$group" 2> /dev/null || true' EXIT
  echo $((limit_mb * 1048576)) > "$group/memory.limit_in_bytes"
  # Dropped from the page cache first, so the reader has to bring the
  # file in under the limit.
  dd if="$capture" iflag=nocache count=0 status=none 2> /dev/null || true
  summary=$(sh -c 'echo $$ > "$1/tasks" && exec "$2" -q -r "$3"' sh "$group" "$cli" "$capture" 2>&1 || true)
  peak_mb=$(($(cat "$group/memory.max_usage_in_bytes") / 1048576))
  check "(2) memory cgroup of $limit_mb MB (cgroup v1), peak charged $peak_mb MB, file $size_mb MB" "$summary"
elif [[ -w /sys/fs/cgroup/cgroup.subtree_control ]]; then
  group=/sys/fs/cgroup/qvlarge$$
  mkdir "$group"
  trap 'rmdir "$group" 2> /dev/null || true' EXIT
  echo $((limit_mb * 1048576)) > "$group/memory.max"
  summary=$(sh -c 'echo $$ > "$1/cgroup.procs" && exec "$2" -q -r "$3"' sh "$group" "$cli" "$capture" 2>&1 || true)
  peak_mb=$(($(cat "$group/memory.peak" 2> /dev/null || echo 0) / 1048576))
  check "(2) memory cgroup of $limit_mb MB (cgroup v2), peak charged $peak_mb MB, file $size_mb MB" "$summary"
else
  echo "(2) memory cgroup: SKIP (no writable memory cgroup here)"
fi
exit $failed
