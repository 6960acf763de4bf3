#!/usr/bin/env bash
# Long fuzzing search for one target with libFuzzer:
#   fuzz/run.sh TARGET SECONDS [extra libFuzzer options]
# TARGET is one of: decoder savefile script rule_file display_filter packet_file version_file
# settings.
# Builds the `fuzz` preset (clang) when needed. New inputs that widen the
# coverage go to build/fuzz/corpus/TARGET (not the repository); a fault's
# input is written to build/fuzz/artifacts/TARGET/ -- fix the reader, then
# copy that input into fuzz/seeds/TARGET so the test run keeps replaying it.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -lt 2 ]; then
  echo "usage: $0 TARGET SECONDS [libFuzzer options]" >&2
  exit 2
fi
target=$1
seconds=$2
shift 2
if [ ! -d "fuzz/seeds/$target" ]; then
  echo "no such fuzz target: $target" >&2
  exit 2
fi
source scripts/setup.sh
quorvanet_install_packages
quorvanet_build fuzz
corpus="build/fuzz/corpus/$target"
artifacts="build/fuzz/artifacts/$target"
mkdir -p "$corpus" "$artifacts"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1}"
exec "build/fuzz/fuzz/${target}_fuzzer" -max_total_time="$seconds" -print_final_stats=1 \
  -artifact_prefix="$artifacts/" "$@" "$corpus" "fuzz/seeds/$target"
