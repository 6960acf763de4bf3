#!/usr/bin/env bash
# The soak: the window (offscreen) captures for a long time at a steady rate
# on a veth pair in a network namespace made for this run, as a user leaves
# it running: the buffer limited to two seconds' worth of frames with "remove
# packets & go on" (it is cleared every two seconds), logging on with files of 1 MB,
# statistics and host names on, and the Statistics page in front. Needs root
# (namespaces, packet sockets). No frame leaves the pair; host names come from
# a hosts file of the namespace's own, and no name server is reachable.
#
#   sudo bench/run_soak.sh [SECONDS=600] [RATE=10000] [SOURCES=500]
#
# SOURCES is the number of source addresses the frames cycle through (so many
# conversations and host-name lookups). The process's resident memory (VmRSS)
# is printed every minute (every 10 s for runs under 3 minutes). At the end
# the log files are read back through libpcap, and the run fails (exit 1)
# unless:
#   - every frame sent is accounted for: captured + dropped (as the window
#     reports them: by the kernel, by the interface, by the buffer) = sent;
#   - the log holds every captured frame once, and every file reads back
#     whole (no damaged or truncated record);
#   - the buffer was cleared at least 5 times;
#   - the memory stayed flat: the last sample is at most 8 MB above the sample
#     taken at a fifth of the run (minute 2 of 10: the buffer, the log queue,
#     the tables and the charts have all reached their working size by then);
#   - host names were looked up: the table names the destination "soak-sink";
#   - the Statistics page was in front at every look while capturing.

set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
rate=${2:-10000}
sources=${3:-500}
size=128
max_count=$((rate * 2 > 100 ? rate * 2 : 100))  # the buffer's count limit: a clear every 2 s
flat_kb=8192      # how far the last memory sample may lie above the reference
build=build/release

if [[ $(id -u) != 0 ]]; then
  echo "run_soak.sh needs root (network namespaces and packet sockets)" >&2
  exit 1
fi
if ! [[ $seconds =~ ^[0-9]+$ && $rate =~ ^[0-9]+$ && $sources =~ ^[0-9]+$ ]] ||
   ((seconds < 30 || seconds > 7200 || rate < 100 || rate > 50000 || sources < 1 || sources > 4000)); then
  echo "usage: run_soak.sh [SECONDS=600 (30..7200)] [RATE=10000 (100..50000 frames/s)] [SOURCES=500 (1..4000)]" >&2
  exit 2
fi

cmake --preset release > /dev/null
cmake --build --preset release --target burst_sender soak_window_bench log_readback | tail -n 1

ns=qvsoak$$
tmp=$(mktemp -d)
window_pid=""
sender_pid=""
cleanup() {
  [[ -n $sender_pid ]] && kill "$sender_pid" 2> /dev/null || true
  [[ -n $window_pid ]] && kill -TERM "$window_pid" 2> /dev/null || true
  wait 2> /dev/null || true
  ip netns del "$ns" 2> /dev/null || true
  rm -rf "/etc/netns/$ns" "$tmp"
}
trap cleanup EXIT

# Files in /etc/netns/NS replace those of /etc for the programs that
# "ip netns exec" runs: names come from this hosts file only.
mkdir -p "/etc/netns/$ns"
{
  echo "127.0.0.1 localhost"
  echo "169.254.7.1 soak-source"
  echo "169.254.7.2 soak-sink"
  for k in $(seq 0 49); do echo "169.254.$((8 + k / 200)).$((1 + k % 200)) soak-peer-$k"; done
} > "/etc/netns/$ns/hosts"
sed 's/^hosts:.*/hosts: files/' /etc/nsswitch.conf > "/etc/netns/$ns/nsswitch.conf"
echo "nameserver 127.0.0.1" > "/etc/netns/$ns/resolv.conf"

source bench/veth_namespace.sh
make_veth_namespace "$ns"
in_ns() { ip netns exec "$ns" "$@"; }
# Only the sender's frames cross the pair: no IPv6 neighbour or router traffic.
in_ns sysctl -q -w net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1 \
  net.ipv6.conf.qv0.disable_ipv6=1 net.ipv6.conf.qv1.disable_ipv6=1 > /dev/null
sleep 1

mkdir "$tmp/logs"
frames=$((rate * seconds))
echo "soak: $seconds s at $rate frames/s ($frames frames of $size bytes from $sources sources)," \
  "buffer cleared at $max_count frames, log files of 1 MB; the machine may be shared"

# The window; timeout ends it should the script fail to (SIGINT, then SIGKILL).
ip netns exec "$ns" timeout -k 10 -s INT $((seconds + 180)) \
  env QT_QPA_PLATFORM=offscreen "$build/bench/soak_window_bench" qv0 "$tmp/logs" $((seconds + 120)) "$max_count" \
  > "$tmp/window" 2> "$tmp/window.err" &
window_pid=$!
for _ in $(seq 100); do
  grep -q '^capturing' "$tmp/window" && break
  kill -0 "$window_pid" 2> /dev/null || break
  sleep 0.1
done
pid=$(awk '$1 == "pid" { print $2 }' "$tmp/window")
if [[ -z $pid ]] || ! grep -q '^capturing' "$tmp/window"; then
  echo "the window did not start capturing:" >&2
  cat "$tmp/window" "$tmp/window.err" >&2
  exit 1
fi
sleep 1

in_ns "$build/bench/burst_sender" qv1 "$frames" "$size" $((seconds + 60)) "$rate" "$sources" > "$tmp/sender" 2>&1 &
sender_pid=$!
start=$(date +%s)

# Resident memory at every interval while the frames come in.
interval=60
((seconds < 180)) && interval=10
samples=$((seconds / interval))
reference_at=$(((samples + 4) / 5))  # the sample at a fifth of the run
declare -a rss
rss_kb() { awk '$1 == "VmRSS:" { print $2 }' "/proc/$pid/status" 2> /dev/null || true; }
for i in $(seq "$samples"); do
  wait_s=$((start + i * interval - $(date +%s)))
  ((wait_s > 0)) && sleep "$wait_s"
  kb=$(rss_kb)
  if [[ -z $kb ]]; then
    echo "the window ended early:" >&2
    cat "$tmp/window" "$tmp/window.err" >&2
    exit 1
  fi
  rss[i]=$kb
  if ((interval == 60)); then label="minute $i"; else label="$((i * interval)) s"; fi
  printf '%-10s RSS %7.1f MB   %s\n' "$label:" "$(awk -v kb="$kb" 'BEGIN { printf "%.1f", kb / 1024 }')" \
    "$(grep '^progress' "$tmp/window" | tail -n 1 | sed 's/^progress [0-9]* s: //')"
done

# The sender ends by itself (at its count, or at its time limit).
sent_rc=0
wait "$sender_pid" || sent_rc=$?
sender_pid=""
sleep 3  # the window drains the kernel buffer
kill -INT "$window_pid" 2> /dev/null || true
wait "$window_pid" || true
window_pid=""

get() { awk -v k="$1" '$1 == k { print $2 }' "$tmp/window"; }
sent=$(awk '$1 == "sent" { print $2 }' "$tmp/sender")
captured=$(get captured)
if [[ -z $sent || -z $captured ]]; then
  echo "no totals from the sender or the window:" >&2
  cat "$tmp/sender" "$tmp/window" "$tmp/window.err" >&2
  exit 1
fi
dk=$(get dropped_kernel) di=$(get dropped_interface) dbuf=$(get dropped_ours)
"$build/bench/log_readback" "$tmp/logs" > "$tmp/readback" || true
rb() { awk -v k="$1" '$1 == k { print $2 }' "$tmp/readback"; }
veth() { in_ns cat "/sys/class/net/$1/statistics/$2"; }

echo
echo "sent       $sent  ($(cat "$tmp/sender"))"
echo "captured   $captured  (counted on the statistics' link layer across $(get clears) clears;" \
  "conversation samples $(get conversation_samples); $(get buffered_at_end) in the buffer at the end)"
echo "logged     $(get logged)  (read back: $(rb frames) frames in $(rb files) files, $(rb distinct) distinct," \
  "$(rb repeated) repeated, $(rb damaged) damaged)"
grep '^damaged:' "$tmp/readback" | head -n 5 || true
echo "dropped    $((dk + di + dbuf))  (kernel $dk, interface $di, buffer $dbuf)"
echo "veth       qv1 sent $(veth qv1 tx_packets) (dropped $(veth qv1 tx_dropped)), qv0 received" \
  "$(veth qv0 rx_packets) (dropped $(veth qv0 rx_dropped))"
echo "window     host names cached $(get host_names_cached), destination shown as $(get sink_name)," \
  "longest interface stall $(get longest_gap_ms) ms"
grep -v -e '^$' "$tmp/window.err" | sed 's/^/window stderr: /' | head -n 10 || true

failed=0
check() {  # description, then a command that succeeds when the check holds
  local what=$1
  shift
  if "$@"; then echo "PASS  $what"; else echo "FAIL  $what"; failed=1; fi
}
check "the sender sent all $frames frames" test "$sent_rc" = 0 -a "$sent" = "$frames"
check "captured + dropped = sent ($captured + $((dk + di + dbuf)) = $sent)" test $((captured + dk + di + dbuf)) = "$sent"
check "the log holds every captured frame once" \
  test "$(get logged)" = "$captured" -a "$(rb frames)" = "$captured" -a "$(rb distinct)" = "$captured"
check "every log file reads back whole" test "$(rb damaged)" = 0 -a "$(rb files)" -gt 1
check "the buffer was cleared at least 5 times ($(get clears))" test "$(get clears)" -ge 5
reference=${rss[reference_at]}
last=${rss[samples]}
check "memory flat: last sample $((last / 1024)) MB at most $((flat_kb / 1024)) MB above sample $reference_at ($((reference / 1024)) MB)" \
  test $((last - reference)) -le "$flat_kb"
check "host names were looked up (169.254.7.2 shown as soak-sink)" test "$(get sink_name)" = soak-sink
check "the Statistics page was in front" test "$(get statistics_visible)" = 1
exit "$failed"
