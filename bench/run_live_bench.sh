#!/usr/bin/env bash
# Live capture under a burst: tcpdump, quorvanet-cli and the window (offscreen)
# each capture the same burst of numbered 128-byte frames on a veth pair that
# lives in a network namespace made for this run, and the figures are printed
# side by side. Needs root (namespaces, packet sockets). No frame leaves the pair.
#
#   sudo bench/run_live_bench.sh [FRAMES] [BUFFER_MB]   (defaults 1000000 and 32)
#
# Goals: quorvanet captures every frame of a burst that tcpdump captures whole,
# with the command line and with the window; the window's interface thread
# never stalls longer than 100 ms; a live frame costs the command line at most
# 64 bytes of memory (the buffer's index entry: the frames stay in the
# helper's file), and the window at most 64 bytes more than it costs the
# window to list a frame read from a file (run_window_bench.sh's 200). Where frames go missing, the drop
# counts say where: "kernel" drops happen when the capture helper fell behind
# and the kernel buffer ran full. Both programs capture through the helper
# (quorvanet-capture, built beside them), which writes the frames into a file
# they read.

set -euo pipefail
cd "$(dirname "$0")/.."
frames=${1:-1000000}
buffer_mb=${2:-32}
build=build/release
limit_s=120  # no capturer or sender runs longer than this

if [[ $(id -u) != 0 ]]; then
  echo "run_live_bench.sh needs root (network namespaces and packet sockets)" >&2
  exit 1
fi

cmake --preset release > /dev/null
cmake --build --preset release --target quorvanet-cli quorvanet-capture burst_sender live_window_bench | tail -n 1

# The window's benchmark program is not beside the helper's folder: it is named.
export QUORVANET_CAPTURE_HELPER=$PWD/$build/src/capture_helper/quorvanet-capture

ns=qvbench$$
filter="ether src 02:51:56:00:00:01"
cleanup() { ip netns del "$ns" 2> /dev/null || true; }
trap cleanup EXIT
source bench/veth_namespace.sh
make_veth_namespace "$ns"
in_ns() { ip netns exec "$ns" "$@"; }

send_burst() {
  in_ns "$build/bench/burst_sender" qv1 "$frames" 128 "$limit_s"
}

# Starts a capturer in the background, waits until it listens (its output
# shows READY, or 1.5 s when READY is empty), sends the burst, lets the
# capturer drain its buffer, then stops it with SIGINT. Its stdout and stderr
# land in $out. The capturer's resident memory just before the burst and just
# before the stop (in KiB) go to $rss_before and $rss_after.
resident_kib() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status" 2> /dev/null || echo 0; }
run_capturer() {
  local out=$1 ready=$2
  shift 2
  # A plain command, so that $! is the process that gets the SIGINT (ip
  # execs timeout, which passes it on to the capturer).
  ip netns exec "$ns" timeout -s INT "$limit_s" "$@" > "$out" 2>&1 &
  local pid=$!
  if [[ -n $ready ]]; then
    for _ in $(seq 100); do
      grep -q "$ready" "$out" && break
      sleep 0.1
    done
  fi
  sleep 1.5
  # timeout runs the capturer as its child.
  local capturer
  capturer=$(pgrep -P "$pid" | head -n 1)
  rss_before=$(resident_kib "${capturer:-$pid}")
  sent_line=$(send_burst)
  sleep 3
  rss_after=$(resident_kib "${capturer:-$pid}")
  kill -INT "$pid" 2> /dev/null || true
  wait "$pid" || true
}

result() {  # name captured dropped_kernel sender_line command
  printf '%-14s captured %9s / %-9s  kernel drops %8s   (%s)\n' "$1" "$2" "$frames" "$3" "$4"
  printf '%-14s %s\n' "" "$5"
}

memory() {  # name captured: the memory the burst added, per frame captured
  if [[ $2 =~ ^[1-9][0-9]*$ && $rss_before =~ ^[0-9]+$ && $rss_after =~ ^[0-9]+$ ]]; then
    printf '%-14s memory %d KiB before the burst, %d KiB after: %.1f bytes a live frame\n' "" "$rss_before" \
      "$rss_after" "$(echo "($rss_after - $rss_before) * 1024 / $2" | bc -l)"
  fi
}

tmp=$(mktemp -d)

if command -v tcpdump > /dev/null; then
  run_capturer "$tmp/tcpdump" "listening on" tcpdump -i qv0 -B $((buffer_mb * 1024)) -w /dev/null "$filter"
  captured=$(awk '/packets captured/ { print $1 }' "$tmp/tcpdump")
  dropped=$(awk '/dropped by kernel/ { print $1 }' "$tmp/tcpdump")
  result tcpdump "${captured:-?}" "${dropped:-?}" "$sent_line" "tcpdump -i qv0 -B $((buffer_mb * 1024)) -w /dev/null"
else
  echo "tcpdump             not installed: no reference figure"
fi

run_capturer "$tmp/cli" "" "$build/src/cli/quorvanet-cli" -i qv0 -q -B "$buffer_mb" -f "$filter"
line=$(grep -E '^[0-9]+ packets' "$tmp/cli" | tail -n 1)
captured=$(awk '{ print $1 }' <<< "$line")
dropped=$(sed -n 's/.*, \([0-9]*\) dropped by kernel.*/\1/p' <<< "$line")
result quorvanet-cli "${captured:-?}" "${dropped:-?}" "$sent_line" "quorvanet-cli -i qv0 -q -B $buffer_mb -f '$filter'"
memory quorvanet-cli "${captured:-}"
grep -v -E '^[0-9]+ packets' "$tmp/cli" | sed 's/^/               cli: /' || true

run_capturer "$tmp/window" "^capturing" env QT_QPA_PLATFORM=offscreen "$build/bench/live_window_bench" qv0 "$buffer_mb" "$filter"
get() { awk -v k="$1" '$1 == k { print $2 }' "$tmp/window"; }
result window "$(get captured)" "$(get dropped_kernel)" "$sent_line" \
  "QT_QPA_PLATFORM=offscreen live_window_bench qv0 $buffer_mb '$filter'"
printf '%-14s longest interface stall %s ms, our own drops %s, interface drops %s, rows listed %s\n' "" \
  "$(get longest_gap_ms)" "$(get dropped_ours)" "$(get dropped_interface)" "$(get rows)"
memory window "$(get captured)"

rm -rf "$tmp"
