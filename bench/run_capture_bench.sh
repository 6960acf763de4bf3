#!/usr/bin/env bash
# Reading a savefile: quorvanet-cli against a bare libpcap read loop and
# against tcpdump, on the same generated capture, in the same run.
#
#   bench/run_capture_bench.sh [FRAMES]        (default 1000000)
#   REPS=7 bench/run_capture_bench.sh          (repetitions, default 5)
#   CONVERSATIONS=5000 STATS_ROWS=1000 bench/run_capture_bench.sh
#       the frames spread over that many conversations, read with a
#       conversation table of STATS_ROWS rows (quorvanet-cli --stats-rows)
#   COMPARE_REV=<commit> bench/run_capture_bench.sh
#       also builds quorvanet-cli of that commit (in a worktree under
#       build/bench-compare) and times it beside this tree's, in the same
#       rounds: (b0) and (c0), with the cost a frame of (b) and (c) against
#       them (goal: within 5%)
#
# Builds a Release tree in build/bench, writes the capture into bench/data/
# (kept between runs; its name changes with the generator's source), warms
# the page cache, then times, interleaved, REPS runs each of
#   (a) plain_read_loop FILE                  the baseline
#   (b) quorvanet-cli -q -r FILE              read, decode, buffer every frame
#   (c) quorvanet-cli -r FILE > /dev/null     the same, printing every row
#   (d) tcpdump -nn -r FILE > /dev/null       when tcpdump is installed
# and reports the best and median wall time, CPU time and peak resident set
# of each, and the derived figures against their goals, from the medians
# (the best of a few runs flatters whichever reader was lucky):
#   (b)/(a)                 at most 2
#   (d)/(c)                 at least 3
#   memory a frame          (peak RSS (b) - peak RSS (a)) / frames, at most 64
#                           bytes: the frames stay in the file, only their
#                           index is held (the page cache is not in the RSS)
# Always exits 0 once the measurements ran; each goal says PASS or MISS.
# bench/run_large_file_bench.sh reads the same file with less memory than
# the file's size.

set -euo pipefail

cd "$(dirname "$0")/.."
frames=${1:-1000000}
reps=${REPS:-5}
conversations=${CONVERSATIONS:-}
cli_args=()
if [[ -n ${STATS_ROWS:-} ]]; then cli_args=(--stats-rows "$STATS_ROWS"); fi
gen_args=()
if [[ -n $conversations ]]; then gen_args=(--conversations "$conversations"); fi
build=build/bench

if ! [[ $frames =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: bench/run_capture_bench.sh [FRAMES]" >&2
  exit 2
fi
if [[ ! -x /usr/bin/time ]]; then
  echo "run_capture_bench: /usr/bin/time (GNU time) is needed for the peak resident set" >&2
  exit 2
fi

echo "== build (Release, $build)"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANET_BUILD_TESTS=OFF > /dev/null
cmake --build "$build" --target plain_read_loop make_bench_capture quorvanet-cli | tail -n 1

compare_cli=""
if [[ -n ${COMPARE_REV:-} ]]; then
  source bench/compare_build.sh
  compare_cli=$(compare_build "$COMPARE_REV" quorvanet-cli)/src/cli/quorvanet-cli
fi

baseline=$build/bench/plain_read_loop
generator=$build/bench/make_bench_capture
cli=$build/src/cli/quorvanet-cli

source bench/bench_capture.sh
capture=$(bench_capture "$frames" "$generator" "${gen_args[@]}")

commit=$(git rev-parse --short HEAD 2> /dev/null || echo unknown)
if [[ -n $(git status --porcelain --untracked-files=no 2> /dev/null) ]]; then commit="$commit (with uncommitted changes)"; fi
have_tcpdump=0
if command -v tcpdump > /dev/null; then have_tcpdump=1; fi

# Warm the page cache and check that every reader sees the whole file.
cat "$capture" > /dev/null
counted=$("$baseline" "$capture")
read -r got _ <<< "$counted"
if [[ $got != "$frames" ]]; then
  echo "run_capture_bench: the baseline read $got frames of $frames" >&2
  exit 1
fi
summary=$("$cli" "${cli_args[@]}" -q -r "$capture")
read -r cli_frames _ <<< "$summary"
if [[ $cli_frames != "$frames" ]]; then
  echo "run_capture_bench: quorvanet-cli -q read '$summary', expected $frames packets" >&2
fi
"$cli" "${cli_args[@]}" -r "$capture" > /dev/null
if ((have_tcpdump)); then tcpdump -nn -r "$capture" > /dev/null 2>&1; fi

size=$(stat -c %s "$capture")
# Savefile: a 24-byte file header, then a 16-byte header before each frame.
avg_captured=$(awk -v s="$size" -v n="$frames" 'BEGIN { printf "%.1f", (s - 24 - 16 * n) / n }')

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# measure NAME STDOUT COMMAND...: one timed run; appends "wall-microseconds
# kib cpu-seconds" to $tmp/NAME.
measure() {
  local name=$1 sink=$2
  shift 2
  local start end
  start=$(date +%s%N)
  /usr/bin/time -f '%M %U %S' -o "$tmp/usage" "$@" > "$sink" 2> /dev/null
  end=$(date +%s%N)
  read -r kib user sys < <(tail -n 1 "$tmp/usage")
  echo "$(( (end - start) / 1000 )) $kib $(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')" >> "$tmp/$name"
}

echo "== $reps rounds over $capture ($frames frames, $avg_captured captured bytes a frame), commit $commit"
# The two quorvanet runs swap places every round: on a virtual machine the
# first large allocation after a quiet spell pays for the host handing the
# memory back, which would otherwise always fall on the same reader.
for ((r = 1; r <= reps; ++r)); do
  measure a /dev/null "$baseline" "$capture"
  if ((r % 2)); then
    measure b /dev/null "$cli" "${cli_args[@]}" -q -r "$capture"
    measure c /dev/null "$cli" "${cli_args[@]}" -r "$capture"
  else
    measure c /dev/null "$cli" "${cli_args[@]}" -r "$capture"
    measure b /dev/null "$cli" "${cli_args[@]}" -q -r "$capture"
  fi
  if ((have_tcpdump)); then measure d /dev/null tcpdump -nn -r "$capture"; fi
  if [[ -n $compare_cli ]]; then
    measure b0 /dev/null "$compare_cli" "${cli_args[@]}" -q -r "$capture"
    measure c0 /dev/null "$compare_cli" "${cli_args[@]}" -r "$capture"
  fi
done

# best NAME -> "best_seconds median_seconds min_peak_kib best_cpu_seconds"
best() {
  sort -n "$tmp/$1" | awk '{ t[NR] = $1 / 1e6; m = (NR == 1 || $2 < m) ? $2 : m; c = (NR == 1 || $3 < c) ? $3 : c }
    END { printf "%.3f %.3f %d %.2f", t[1], (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2, m, c }'
}

report() {
  local label=$1 name=$2 command=$3
  read -r t med kib cpu <<< "$(best "$name")"
  printf '%-24s best %7.3f s  median %7.3f s  cpu %6.2f s  peak RSS %8d KiB   %s\n' "$label" "$t" "$med" "$cpu" "$kib" \
    "$command"
}

echo "== results ($reps runs each)"
report "(a) plain read loop" a "$baseline $capture"
report "(b) quorvanet-cli -q" b "$cli ${cli_args[*]} -q -r $capture"
report "(c) quorvanet-cli rows" c "$cli ${cli_args[*]} -r $capture > /dev/null"
if ((have_tcpdump)); then report "(d) tcpdump -nn" d "tcpdump -nn -r $capture > /dev/null"; fi
if [[ -n $compare_cli ]]; then
  report "(b0) $COMPARE_REV -q" b0 "$compare_cli ${cli_args[*]} -q -r $capture"
  report "(c0) $COMPARE_REV rows" c0 "$compare_cli ${cli_args[*]} -r $capture > /dev/null"
fi

read -r _ ta ka ca <<< "$(best a)"
read -r _ tb kb cb <<< "$(best b)"
read -r _ tc _ cc <<< "$(best c)"

verdict() { awk -v v="$1" -v goal="$2" -v op="$3" 'BEGIN { ok = (op == "le") ? v <= goal : v >= goal; print ok ? "PASS" : "MISS" }'; }

echo "== goals"
# Wall time decides; the CPU-time ratio is shown as well because it is far
# less disturbed by other work on a busy machine.
ratio=$(awk -v b="$tb" -v a="$ta" 'BEGIN { printf "%.2f", b / a }')
printf '%-44s %8s   goal <= 2      %s   (cpu time: %s)\n' "median time (b)/(a)" "$ratio" "$(verdict "$ratio" 2 le)" \
  "$(awk -v b="$cb" -v a="$ca" 'BEGIN { printf (a > 0 ? "%.2f" : "-"), (a > 0 ? b / a : 0) }')"
if ((have_tcpdump)); then
  read -r _ td _ cd <<< "$(best d)"
  speedup=$(awk -v d="$td" -v c="$tc" 'BEGIN { printf "%.2f", d / c }')
  printf '%-44s %8s   goal >= 3      %s   (cpu time: %s)\n' "median speed-up (d)/(c)" "$speedup" "$(verdict "$speedup" 3 ge)" \
    "$(awk -v d="$cd" -v c="$cc" 'BEGIN { printf (c > 0 ? "%.2f" : "-"), (c > 0 ? d / c : 0) }')"
else
  printf '%-44s %8s   goal >= 3      %s\n' "speed-up (d)/(c)" "-" "SKIP (tcpdump not installed)"
fi
per_frame=$(awk -v b="$kb" -v a="$ka" -v n="$frames" 'BEGIN { printf "%.1f", (b - a) * 1024 / n }')
printf '%-44s %8s   goal <= 64     %s\n' "memory a frame ((b)-(a) RSS / frames)" "$per_frame" \
  "$(verdict "$per_frame" 64 le)"
if [[ -n $compare_cli ]]; then
  # The cost a frame is what a reader adds to the bare read loop.
  read -r _ tb0 _ _ <<< "$(best b0)"
  read -r _ tc0 _ _ <<< "$(best c0)"
  for pair in "b b0 $tb $tb0" "c c0 $tc $tc0"; do
    read -r now then tnow tthen <<< "$pair"
    cost=$(awk -v n="$tnow" -v t="$tthen" -v a="$ta" 'BEGIN { printf "%.3f", (n - a) / (t - a) }')
    printf '%-44s %8s   goal <= 1.05   %s\n' "cost a frame ($now)/($then), medians less (a)" "$cost" \
      "$(verdict "$cost" 1.05 le)"
  done
fi
exit 0
