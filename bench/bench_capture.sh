# Sourced by the benchmark scripts (from the source root).
#
# generated_capture NAME "SOURCES" FRAMES GENERATOR [ARGS...]: the path of a
# generated capture of FRAMES frames, bench/data/NAME-FRAMES...pcap (.pcapng
# when ARGS ask for that format), written
# by GENERATOR (given ARGS) when it is missing. The name carries the
# arguments and a fingerprint of the generator's SOURCES (a blank-separated
# list of files), so a changed generator never measures a stale file.
generated_capture() {
  local name=$1 sources=$2 frames=$3 generator=$4 fingerprint capture variant="" extension=pcap argument
  shift 4
  if (($# > 0)); then variant=$(printf -- '-%s' "$@" | tr -c 'A-Za-z0-9\n' '-' | tr -s '-'); fi
  for argument in "$@"; do
    if [[ $argument == pcapng ]]; then extension=pcapng; fi
  done
  # shellcheck disable=SC2086 # the list of sources is split on purpose
  fingerprint=$(cat $sources | sha256sum | cut -c1-10)
  mkdir -p bench/data
  capture=bench/data/$name-$frames$variant-$fingerprint.$extension
  if [[ ! -s $capture ]]; then
    echo "== writing $capture" >&2
    "$generator" "$capture.part" "$frames" "$@" >&2
    mv "$capture.part" "$capture"
  fi
  echo "$capture"
}

# bench_capture FRAMES GENERATOR [ARGS...]: the benchmark capture of FRAMES
# frames, written by make_bench_capture (given ARGS such as
# --conversations 5000).
bench_capture() {
  generated_capture bench "bench/make_bench_capture.cpp bench/mixed_traffic.cpp bench/mixed_traffic.h bench/capture_output.h
    bench/bench_random.h tools/framegen/frame_builder.h tools/framegen/pcapng_writer.h" "$@"
}

# browsing_capture FRAMES GENERATOR: the browsing capture of FRAMES frames,
# written by make_browsing_capture.
browsing_capture() {
  generated_capture browsing "bench/make_browsing_capture.cpp bench/bench_random.h bench/browsing_crypto.h bench/browsing_crypto.cpp
    bench/browsing_messages.h bench/browsing_messages.cpp tools/framegen/frame_builder.h" "$@"
}
