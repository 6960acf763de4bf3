#!/usr/bin/env bash
# Reading today's traffic: quorvanet-cli -q on the browsing capture (TLS,
# QUIC, DNS and HTTP in a browser's proportions, make_browsing_capture)
# against the classic benchmark capture of the same frame count
# (make_bench_capture), in the same run; then the window loading the
# browsing capture, and the rows counted by the protocol they end with.
#
#   bench/run_app_bench.sh [FRAMES]        (default 1000000)
#   REPS=7 bench/run_app_bench.sh          (repetitions, default 5)
#   ROW_FRAMES=20000 bench/run_app_bench.sh
#       frames of the smaller browsing capture whose rows are counted by
#       protocol (default 100000, at most FRAMES)
#   WINDOW=0 bench/run_app_bench.sh        leaves the window out
#
# Builds a Release tree in build/bench, writes both captures into
# bench/data/ (kept between runs, see bench/bench_capture.sh), warms the
# page cache, then times, interleaved, REPS runs each of
#   (a) quorvanet-cli -q -r classic.pcap
#   (b) quorvanet-cli -q -r browsing.pcap
# and reports the best and median wall time, CPU time and peak resident set
# of each, and against its goal, from the medians:
#   (b)/(a)                 at most 1.3: decoding the application layer of
#                           today's traffic costs at most 30% over the
#                           classic mix
# Then, unless WINDOW=0, bench/window_load_bench opens each capture
# (offscreen) once: load time and the longest stall of the interface thread
# (goal: at most 100 ms on the browsing capture). Last, the rows of a
# ROW_FRAMES-frame browsing capture, from quorvanet-cli and from the window's
# list, counted by the last protocol of their Protocols column: where the
# application protocol is known, the row should name it.
# Always exits 0 once the measurements ran; each goal says PASS or MISS.

set -euo pipefail

cd "$(dirname "$0")/.."
frames=${1:-1000000}
reps=${REPS:-5}
row_frames=${ROW_FRAMES:-100000}
window=${WINDOW:-1}
build=build/bench

if ! [[ $frames =~ ^[1-9][0-9]*$ && $reps =~ ^[1-9][0-9]*$ && $row_frames =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: bench/run_app_bench.sh [FRAMES]   (REPS, ROW_FRAMES: positive counts)" >&2
  exit 2
fi
if ((row_frames > frames)); then row_frames=$frames; fi
if [[ ! -x /usr/bin/time ]]; then
  echo "run_app_bench: /usr/bin/time (GNU time) is needed for the CPU time and peak resident set" >&2
  exit 2
fi

echo "== build (Release, $build)"
targets=(make_bench_capture make_browsing_capture quorvanet-cli)
if ((window)); then targets+=(window_load_bench); fi
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANET_BUILD_TESTS=OFF > /dev/null
# grep reads the whole list: with -q it would stop early, and pipefail would
# take ninja's broken pipe for a missing target.
if ! ninja -C "$build" -t targets all 2> /dev/null | grep '^make_browsing_capture:' > /dev/null; then
  echo "run_app_bench: make_browsing_capture needs OpenSSL's libcrypto (libssl-dev)" >&2
  exit 2
fi
cmake --build "$build" --target "${targets[@]}" | tail -n 1

cli=$build/src/cli/quorvanet-cli
source bench/bench_capture.sh
classic=$(bench_capture "$frames" "$build/bench/make_bench_capture")
browsing=$(browsing_capture "$frames" "$build/bench/make_browsing_capture")

commit=$(git rev-parse --short HEAD 2> /dev/null || echo unknown)
if [[ -n $(git status --porcelain --untracked-files=no 2> /dev/null) ]]; then commit="$commit (with uncommitted changes)"; fi

# Warm the page cache and check that the command line reads every frame.
for capture in "$classic" "$browsing"; do
  cat "$capture" > /dev/null
  summary=$("$cli" -q -r "$capture")
  read -r got _ <<< "$summary"
  if [[ $got != "$frames" ]]; then
    echo "run_app_bench: quorvanet-cli -q read '$summary' from $capture, expected $frames packets" >&2
    exit 1
  fi
done

# Savefile: a 24-byte file header, then a 16-byte header before each frame.
per_frame() { awk -v s="$(stat -c %s "$1")" -v n="$frames" 'BEGIN { printf "%.1f", (s - 24 - 16 * n) / n }'; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# measure NAME COMMAND...: one timed run, its output thrown away; appends
# "wall-microseconds kib cpu-seconds" to $tmp/NAME.
measure() {
  local name=$1 start end
  shift
  start=$(date +%s%N)
  /usr/bin/time -f '%M %U %S' -o "$tmp/usage" "$@" > /dev/null 2>&1
  end=$(date +%s%N)
  read -r kib user sys < <(tail -n 1 "$tmp/usage")
  echo "$(((end - start) / 1000)) $kib $(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')" >> "$tmp/$name"
}

echo "== $reps rounds, $frames frames each, commit $commit"
echo "   (a) $classic ($(per_frame "$classic") captured bytes a frame)"
echo "   (b) $browsing ($(per_frame "$browsing") captured bytes a frame)"
# The two runs swap places every round, so neither always follows the other.
for ((r = 1; r <= reps; ++r)); do
  if ((r % 2)); then
    measure a "$cli" -q -r "$classic"
    measure b "$cli" -q -r "$browsing"
  else
    measure b "$cli" -q -r "$browsing"
    measure a "$cli" -q -r "$classic"
  fi
done

# best_median: the best and the median of the numbers on standard input.
best_median() {
  sort -n | awk '{ v[NR] = $1 } END { printf "%s %s", v[1], (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# stats NAME -> "best median peak_kib best_cpu median_cpu" (seconds, KiB;
# the peak is the smallest of the runs')
stats() {
  local t c kib
  t=$(awk '{ print $1 / 1e6 }' "$tmp/$1" | best_median)
  c=$(awk '{ print $3 }' "$tmp/$1" | best_median)
  kib=$(awk 'NR == 1 || $2 < m { m = $2 } END { print m }' "$tmp/$1")
  read -r tbest tmed <<< "$t"
  read -r cbest cmed <<< "$c"
  echo "$tbest $tmed $kib $cbest $cmed"
}

report() {
  local label=$1 name=$2 command=$3
  read -r t med kib cpu cmed <<< "$(stats "$name")"
  printf '%-22s best %7.3f s  median %7.3f s  cpu best %6.2f s  median %6.2f s  peak RSS %8d KiB   %s\n' "$label" \
    "$t" "$med" "$cpu" "$cmed" "$kib" "$command"
}

echo "== results ($reps runs each)"
report "(a) classic -q" a "$cli -q -r $classic"
report "(b) browsing -q" b "$cli -q -r $browsing"

verdict() { awk -v v="$1" -v goal="$2" 'BEGIN { print (v <= goal) ? "PASS" : "MISS" }'; }
read -r _ ta _ _ ca <<< "$(stats a)"
read -r _ tb _ _ cb <<< "$(stats b)"
ratio=$(awk -v b="$tb" -v a="$ta" 'BEGIN { printf "%.2f", b / a }')
cpu_ratio=$(awk -v b="$cb" -v a="$ca" 'BEGIN { printf (a > 0 ? "%.2f" : "-"), (a > 0 ? b / a : 0) }')
echo "== goals"
# Wall time decides; the CPU-time ratio is shown as well because it is far
# less disturbed by other work on a busy machine.
printf '%-44s %8s   goal <= 1.3    %s   (median cpu time: %s)\n' "median time (b)/(a)" "$ratio" \
  "$(verdict "$ratio" 1.3)" "$cpu_ratio"

if ((window)); then
  echo "== the window loading each capture (offscreen, once each)"
  for pair in "classic $classic" "browsing $browsing"; do
    read -r label capture <<< "$pair"
    out=$(QT_QPA_PLATFORM=offscreen "$build/bench/window_load_bench" "$capture" 2> /dev/null)
    get() { awk -v k="$1" '$1 == k { print $2 }' <<< "$out"; }
    printf '%-10s load %7.3f s  longest stall %5d ms  rows %s of %s   %s\n' "$label" "$(get load_s)" \
      "$(get longest_gap_ms)" "$(get rows)" "$frames" \
      "QT_QPA_PLATFORM=offscreen $build/bench/window_load_bench $capture"
    if [[ $label == browsing ]]; then gap=$(get longest_gap_ms); fi
  done
  printf '%-44s %8s   goal <= 100    %s\n' "longest stall loading (b) (ms)" "$gap" "$(verdict "$gap" 100)"
fi

small=$(browsing_capture "$row_frames" "$build/bench/make_browsing_capture")
echo "== rows of $small by the last protocol they name"
echo "-- quorvanet-cli -r $small | cut -f9 | awk '{print \$NF}' | sort | uniq -c"
"$cli" -r "$small" | cut -f9 | awk '{print $NF}' | sort | uniq -c | sort -rn
if ((window)); then
  echo "-- the window's list (window_load_bench $small --protocols)"
  QT_QPA_PLATFORM=offscreen "$build/bench/window_load_bench" "$small" --protocols 2> /dev/null |
    awk '$1 == "protocol_rows" { printf "%7d %s\n", $3, $2 }' | sort -rn
fi
exit 0
