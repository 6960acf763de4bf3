# Sourced by the benchmark scripts (from the source root).
#
# bench_capture FRAMES GENERATOR [ARGS...]: the path of the benchmark capture
# of FRAMES frames, written by GENERATOR (make_bench_capture, given ARGS such
# as --conversations 5000) when it is missing. The name carries the arguments
# and the generator's fingerprint, so a changed generator never measures a
# stale file.
bench_capture() {
  local frames=$1 generator=$2 fingerprint capture variant=""
  shift 2
  if (($# > 0)); then variant=$(printf -- '-%s' "$@" | tr -c 'A-Za-z0-9\n' '-' | tr -s '-'); fi
  fingerprint=$(cat bench/make_bench_capture.cpp tools/framegen/frame_builder.h | sha256sum | cut -c1-10)
  mkdir -p bench/data
  capture=bench/data/bench-$frames$variant-$fingerprint.pcap
  if [[ ! -s $capture ]]; then
    echo "== writing $capture" >&2
    "$generator" "$capture.part" "$frames" "$@" >&2
    mv "$capture.part" "$capture"
  fi
  echo "$capture"
}
