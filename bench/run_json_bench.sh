#!/usr/bin/env bash
# Machine-readable output: quorvanet-cli -T json against tshark -T ek on the
# same generated capture, in the same run.
#
#   bench/run_json_bench.sh [FRAMES]     (default 100000)
#   REPS=7 bench/run_json_bench.sh       (repetitions, default 5)
#
# Builds the release tree (cmake --preset release, build/release), writes the
# benchmark capture of FRAMES frames into bench/data/ (kept between runs, see
# bench/bench_capture.sh), warms the page cache, checks that every frame
# comes out as one line, then times, interleaved, REPS runs each of
#   (a) quorvanet-cli -T json -r FILE > /dev/null
#   (b) tshark -T ek -r FILE > /dev/null      when tshark is installed
# and reports the best and median wall time of each and the ratio of the
# medians, (b)/(a), against its goal of at least 3. Always exits 0 once the
# measurements ran.

set -euo pipefail

cd "$(dirname "$0")/.."
frames=${1:-100000}
reps=${REPS:-5}
build=build/release

if ! [[ $frames =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: bench/run_json_bench.sh [FRAMES]" >&2
  exit 2
fi

echo "== build (release preset, $build)"
cmake --preset release > /dev/null
cmake --build --preset release --target make_bench_capture quorvanet-cli | tail -n 1

cli=$build/src/cli/quorvanet-cli
source bench/bench_capture.sh
capture=$(bench_capture "$frames" "$build/bench/make_bench_capture")

commit=$(git rev-parse --short HEAD 2> /dev/null || echo unknown)
if [[ -n $(git status --porcelain --untracked-files=no 2> /dev/null) ]]; then commit="$commit (with uncommitted changes)"; fi
have_tshark=0
if command -v tshark > /dev/null; then have_tshark=1; fi

# Warm the page cache and check that every frame gives one line.
cat "$capture" > /dev/null
lines=$("$cli" -T json -r "$capture" 2> /dev/null | wc -l)
if [[ $lines != "$frames" ]]; then
  echo "run_json_bench: quorvanet-cli -T json printed $lines lines for $frames frames" >&2
  exit 1
fi
if ((have_tshark)); then tshark -T ek -r "$capture" > /dev/null 2>&1; fi

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# measure NAME COMMAND...: one timed run, its output thrown away; appends the
# wall time in microseconds to $tmp/NAME.
measure() {
  local name=$1 start end
  shift
  start=$(date +%s%N)
  "$@" > /dev/null 2>&1
  end=$(date +%s%N)
  echo $(((end - start) / 1000)) >> "$tmp/$name"
}

echo "== $reps rounds over $capture ($frames frames), commit $commit"
for ((r = 1; r <= reps; ++r)); do
  measure a "$cli" -T json -r "$capture"
  if ((have_tshark)); then measure b tshark -T ek -r "$capture"; fi
done

# timing NAME -> "best_seconds median_seconds"
timing() {
  sort -n "$tmp/$1" | awk '{ t[NR] = $1 / 1e6 }
    END { printf "%.3f %.3f", t[1], (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2 }'
}

echo "== results ($reps runs each)"
read -r best_a median_a <<< "$(timing a)"
printf '%-24s best %8.3f s  median %8.3f s   %s\n' "(a) quorvanet-cli -T json" "$best_a" "$median_a" \
  "$cli -T json -r $capture > /dev/null"
if ((have_tshark)); then
  read -r best_b median_b <<< "$(timing b)"
  printf '%-24s best %8.3f s  median %8.3f s   %s\n' "(b) tshark -T ek" "$best_b" "$median_b" \
    "tshark -T ek -r $capture > /dev/null"
  ratio=$(awk -v b="$median_b" -v a="$median_a" 'BEGIN { printf "%.2f", b / a }')
  verdict=$(awk -v r="$ratio" 'BEGIN { print (r >= 3) ? "PASS" : "MISS" }')
  echo "== goal"
  printf '%-44s %8s   goal >= 3      %s\n' "median (b)/(a)" "$ratio" "$verdict"
else
  echo "== goal"
  printf '%-44s %8s   goal >= 3      %s\n' "median (b)/(a)" "-" "SKIP (tshark not installed)"
fi
exit 0
