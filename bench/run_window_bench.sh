#!/usr/bin/env bash
# Opening the benchmark capture in the window (offscreen) against
# quorvanet-cli -q -r on the same file, in the same run.
#
#   bench/run_window_bench.sh [FRAMES]        (default 1000000; the capture is
#                                             made by run_capture_bench.sh's generator)
#   SHAPE=mixed bench/run_window_bench.sh     on the mixed shape of the capture (frames
#                                             of every size, thousands of conversations;
#                                             see make_bench_capture) instead of the office one
#   STATISTICS=1 bench/run_window_bench.sh    the same with the Statistics page in
#                                             front (its table and a chart in turn)
#   COMPARE_REV=<commit> bench/run_window_bench.sh
#                                             also times that commit's command line
#                                             and window on the same file, in the same
#                                             run, and prints both ratios side by side
#
# Goals: every row in the list within 1.5x the command line's time; the
# interface thread never stalled longer than 100 ms while loading; memory no
# more than 264 bytes a frame over the window's own baseline (the frames stay
# in the file: 64 for the buffer's index, 200 for the window); sorting by any column within 2x the load time.

set -euo pipefail
cd "$(dirname "$0")/.."
frames=${1:-1000000}
build=build/bench

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANET_BUILD_TESTS=OFF > /dev/null
cmake --build "$build" --target make_bench_capture quorvanet-cli window_load_bench | tail -n 1

source bench/bench_capture.sh
gen_args=()
if [[ -n ${SHAPE:-} ]]; then gen_args=(--shape "$SHAPE"); fi
capture=$(bench_capture "$frames" "$build/bench/make_bench_capture" "${gen_args[@]}")
cat "$capture" > /dev/null

cli_best=
for _ in 1 2 3; do
  start=$(date +%s.%N)
  "$build/src/cli/quorvanet-cli" -q -r "$capture" > /dev/null
  end=$(date +%s.%N)
  t=$(echo "$end - $start" | bc -l)
  if [[ -z $cli_best ]] || (($(echo "$t < $cli_best" | bc -l))); then cli_best=$t; fi
done
printf 'cli -q best %.3f s   %s\n' "$cli_best" "$build/src/cli/quorvanet-cli -q -r $capture"

window_args=()
if [[ -n ${STATISTICS:-} ]]; then window_args=(--statistics); fi
if [[ -n ${COMPARE_REV:-} ]]; then
  source bench/compare_build.sh
  other=$(compare_build "$COMPARE_REV" quorvanet-cli window_load_bench)
  other_cli=
  for _ in 1 2 3; do
    start=$(date +%s.%N)
    "$other/src/cli/quorvanet-cli" -q -r "$capture" > /dev/null
    end=$(date +%s.%N)
    t=$(echo "$end - $start" | bc -l)
    if [[ -z $other_cli ]] || (($(echo "$t < $other_cli" | bc -l))); then other_cli=$t; fi
  done
  other_out=$(QT_QPA_PLATFORM=offscreen "$other/bench/window_load_bench" "$capture" "${window_args[@]}" 2> /dev/null)
  other_load=$(awk '$1 == "load_s" { print $2 }' <<< "$other_out")
  printf '%s: cli -q best %.3f s, window load %.3f s, load / cli %.2f\n' "$COMPARE_REV" "$other_cli" "$other_load" \
    "$(echo "$other_load / $other_cli" | bc -l)"
fi
out=$(QT_QPA_PLATFORM=offscreen "$build/bench/window_load_bench" "$capture" "${window_args[@]}" 2> /dev/null)
echo "$out"
echo "window: QT_QPA_PLATFORM=offscreen $build/bench/window_load_bench $capture ${window_args[*]}"
get() { awk -v k="$1" '$1 == k { print $2 }' <<< "$out"; }
load=$(get load_s)
gap=$(get longest_gap_ms)
rows=$(get rows)
captured=$(get captured_bytes)
base=$(get baseline_kib)
peak=$(get peak_kib_after_load)
sort=$(get slowest_sort_s)

verdict() { if (($(echo "$1" | bc -l))); then echo PASS; else echo MISS; fi; }
ratio=$(echo "$load / $cli_best" | bc -l)
per_frame=$(echo "(($peak - $base) * 1024) / $rows" | bc -l)
printf 'load / cli            %6.2f   goal <= 1.5    %s\n' "$ratio" "$(verdict "$ratio <= 1.5")"
printf 'longest stall (ms)    %6d   goal <= 100    %s\n' "$gap" "$(verdict "$gap <= 100")"
printf 'bytes a frame          %6.1f   goal <= 264    %s   (captured bytes a frame: %.1f, left in the file)\n' \
  "$per_frame" "$(verdict "$per_frame <= 264")" "$(echo "$captured / $rows" | bc -l)"
printf 'slowest sort / load   %6.2f   goal < 2       %s\n' "$(echo "$sort / $load" | bc -l)" "$(verdict "$sort / $load < 2")"
printf 'rows %s of %s\n' "$rows" "$frames"
