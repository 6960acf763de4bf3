#!/usr/bin/env bash
# Reading the two shapes of the benchmark capture, as a classic savefile, as
# pcapng and gzip'd, against the bare libpcap read loop, in the same run.
#
#   bench/run_shape_bench.sh [FRAMES]        (default 1000000)
#   REPS=7 bench/run_shape_bench.sh          (repetitions, default 5)
#   COMPARE_REV=<commit> bench/run_shape_bench.sh
#       also builds quorvanet-cli of that commit (see compare_build.sh) and
#       times its -q read of each shape's savefile in the same rounds
#
# The shapes are make_bench_capture's: "office" (the default, a busy office
# LAN) and "mixed" (frames of every size from 60 to 1400 bytes, thousands of
# short conversations churning a 30-row conversation table). For each shape
# the same frames are written as pcap and as pcapng, and the pcap is gzip'd.
# Each round times, for both shapes in turn:
#   plain        plain_read_loop FILE.pcap
#   cli          quorvanet-cli -q -r FILE.pcap
#   pcapng       quorvanet-cli -q -r FILE.pcapng
#   gunzip       gzip -dc FILE.pcap.gz > /dev/null
#   gz           quorvanet-cli -q -r FILE.pcap.gz   (when the command line reads it)
#   cli0         that commit's quorvanet-cli -q -r FILE.pcap (COMPARE_REV)
# and reports the best and median wall time of each, then the goals, from
# the medians:
#   cli / plain                   at most 1.5, on both shapes
#   pcapng / cli                  at most 1.1
#   gz / (gunzip + plain)         at most 1.3
#   cli / cli0                    shown, no goal, with the cost a frame above the
#                                 plain loop, (cli - plain) / (cli0 - plain)
# The CPU-time ratios are shown too: on a busy machine they move less.
# Always exits 0 once the measurements ran; each goal says PASS or MISS.

set -euo pipefail

cd "$(dirname "$0")/.."
frames=${1:-1000000}
reps=${REPS:-5}
build=build/bench
shapes=(office mixed)

if ! [[ $frames =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: bench/run_shape_bench.sh [FRAMES]" >&2
  exit 2
fi
if [[ ! -x /usr/bin/time ]]; then
  echo "run_shape_bench: /usr/bin/time (GNU time) is needed for the CPU time" >&2
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

commit=$(git rev-parse --short HEAD 2> /dev/null || echo unknown)
if [[ -n $(git status --porcelain --untracked-files=no 2> /dev/null) ]]; then commit="$commit (with uncommitted changes)"; fi

declare -A pcap pcapng gz gz_ok
for shape in "${shapes[@]}"; do
  pcap[$shape]=$(bench_capture "$frames" "$generator" --shape "$shape")
  pcapng[$shape]=$(bench_capture "$frames" "$generator" --shape "$shape" --format pcapng)
  gz[$shape]=${pcap[$shape]}.gz
  if [[ ! -s ${gz[$shape]} ]]; then
    echo "== writing ${gz[$shape]}" >&2
    gzip -c "${pcap[$shape]}" > "${gz[$shape]}.part"
    mv "${gz[$shape]}.part" "${gz[$shape]}"
  fi
  # Warm the page cache; every reader must see every frame.
  cat "${pcap[$shape]}" "${pcapng[$shape]}" "${gz[$shape]}" > /dev/null
  for file in "${pcap[$shape]}" "${pcapng[$shape]}"; do
    read -r got _ <<< "$("$cli" -q -r "$file")"
    if [[ $got != "$frames" ]]; then
      echo "run_shape_bench: quorvanet-cli -q read $got frames of $frames from $file" >&2
      exit 1
    fi
  done
  # Reading a gzip'd savefile is new: a command line that refuses it, or
  # reads something else, leaves its row out.
  gz_ok[$shape]=0
  if summary=$("$cli" -q -r "${gz[$shape]}" 2> /dev/null); then
    read -r got _ <<< "$summary"
    if [[ $got == "$frames" ]]; then gz_ok[$shape]=1; fi
  fi
done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# measure NAME COMMAND...: one timed run; appends "wall-microseconds
# cpu-seconds" to $tmp/NAME.
measure() {
  local name=$1 start end user sys
  shift
  start=$(date +%s%N)
  /usr/bin/time -f '%U %S' -o "$tmp/usage" "$@" > /dev/null 2>&1
  end=$(date +%s%N)
  read -r user sys < <(tail -n 1 "$tmp/usage")
  echo "$(( (end - start) / 1000 )) $(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')" >> "$tmp/$name"
}

echo "== $reps rounds, $frames frames a file, commit $commit"
for ((r = 1; r <= reps; ++r)); do
  for shape in "${shapes[@]}"; do
    measure "$shape.plain" "$baseline" "${pcap[$shape]}"
    # The quorvanet readers take turns at going first (see run_capture_bench.sh).
    if ((r % 2)); then
      measure "$shape.cli" "$cli" -q -r "${pcap[$shape]}"
      measure "$shape.pcapng" "$cli" -q -r "${pcapng[$shape]}"
    else
      measure "$shape.pcapng" "$cli" -q -r "${pcapng[$shape]}"
      measure "$shape.cli" "$cli" -q -r "${pcap[$shape]}"
    fi
    measure "$shape.gunzip" gzip -dc "${gz[$shape]}"
    if ((gz_ok[$shape])); then measure "$shape.gz" "$cli" -q -r "${gz[$shape]}"; fi
    if [[ -n $compare_cli ]]; then measure "$shape.cli0" "$compare_cli" -q -r "${pcap[$shape]}"; fi
  done
done

# figures NAME -> "best_seconds median_seconds median_cpu_seconds"
figures() {
  local cpu
  cpu=$(awk '{ print $2 }' "$tmp/$1" | sort -n | awk '{ c[NR] = $1 }
    END { printf "%.3f", (NR % 2) ? c[(NR + 1) / 2] : (c[NR / 2] + c[NR / 2 + 1]) / 2 }')
  sort -n "$tmp/$1" | awk -v cpu="$cpu" '{ t[NR] = $1 / 1e6 }
    END { printf "%.3f %.3f %s", t[1], (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2, cpu }'
}
median() { read -r _ m _ <<< "$(figures "$1")"; echo "$m"; }
median_cpu() { read -r _ _ c <<< "$(figures "$1")"; echo "$c"; }

echo "== results ($reps runs each)"
for shape in "${shapes[@]}"; do
  echo "-- $shape: ${pcap[$shape]}"
  rows=("plain:plain_read_loop FILE.pcap" "cli:quorvanet-cli -q -r FILE.pcap" "pcapng:quorvanet-cli -q -r FILE.pcapng"
    "gunzip:gzip -dc FILE.pcap.gz > /dev/null" "gz:quorvanet-cli -q -r FILE.pcap.gz")
  if [[ -n $compare_cli ]]; then rows+=("cli0:$COMPARE_REV quorvanet-cli -q -r FILE.pcap"); fi
  for row in "${rows[@]}"; do
    name=${row%%:*}
    if [[ ! -s $tmp/$shape.$name ]]; then
      printf '  %-8s %s   %s\n' "$name" "not supported (the command line refuses the gzip'd file)" "${row#*:}"
      continue
    fi
    read -r best med cpu <<< "$(figures "$shape.$name")"
    printf '  %-8s best %7.3f s  median %7.3f s  cpu median %7.3f s   %s\n' "$name" "$best" "$med" "$cpu" "${row#*:}"
  done
done

verdict() { awk -v v="$1" -v goal="$2" 'BEGIN { print (v <= goal) ? "PASS" : "MISS" }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

echo "== goals (medians)"
for shape in "${shapes[@]}"; do
  plain=$(median "$shape.plain")
  cli_t=$(median "$shape.cli")
  r=$(ratio "$cli_t" "$plain")
  printf '%-8s %-34s %6s   goal <= 1.5   %s   (cpu time: %s)\n' "$shape" "cli -q / plain loop" "$r" "$(verdict "$r" 1.5)" \
    "$(ratio "$(median_cpu "$shape.cli")" "$(median_cpu "$shape.plain")")"
  r=$(ratio "$(median "$shape.pcapng")" "$cli_t")
  printf '%-8s %-34s %6s   goal <= 1.1   %s   (cpu time: %s)\n' "$shape" "pcapng / pcap (cli -q)" "$r" "$(verdict "$r" 1.1)" \
    "$(ratio "$(median_cpu "$shape.pcapng")" "$(median_cpu "$shape.cli")")"
  if ((gz_ok[$shape])); then
    reference=$(awk -v g="$(median "$shape.gunzip")" -v p="$plain" 'BEGIN { print g + p }')
    r=$(ratio "$(median "$shape.gz")" "$reference")
    printf '%-8s %-34s %6s   goal <= 1.3   %s\n' "$shape" "gz / (gzip -dc + plain loop)" "$r" "$(verdict "$r" 1.3)"
  else
    printf '%-8s %-34s %6s   goal <= 1.3   %s\n' "$shape" "gz / (gzip -dc + plain loop)" "-" "not supported"
  fi
  if [[ -n $compare_cli ]]; then
    printf '%-8s %-34s %6s   (cpu time: %s; cost above the plain loop: %s)\n' "$shape" "cli -q / $COMPARE_REV cli -q" \
      "$(ratio "$cli_t" "$(median "$shape.cli0")")" "$(ratio "$(median_cpu "$shape.cli")" "$(median_cpu "$shape.cli0")")" \
      "$(awk -v n="$cli_t" -v t="$(median "$shape.cli0")" -v a="$plain" 'BEGIN { printf "%.2f", (n - a) / (t - a) }')"
  fi
done
exit 0
