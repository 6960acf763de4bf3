#!/usr/bin/env bash
# Writes what tshark prints for each -T fields case of tests/cli/data/field_cases.tsv
# into tests/cli/data/fields/NAME.txt, which tests/cli/field_output_test.cpp
# compares with quorvanet-cli's output, so tshark need not run there.
#
#   tools/make_field_outputs.sh [CORPUS_DIR]    (default: ../shared/corpus beside the source tree)
#
# TCP reassembly is off, as our decoders read each frame by itself.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
corpus=${1:-"$root/../shared/corpus"}
cases="$root/tests/cli/data/field_cases.tsv"
out="$root/tests/cli/data/fields"
command -v tshark >/dev/null || { echo "make_field_outputs.sh: tshark is missing" >&2; exit 1; }
mkdir -p "$out"

while IFS=$'\t' read -r name capture filter arguments; do
  case "$name" in '' | '#'*) continue ;; esac
  case "$capture" in
    corpus/*) file="$corpus/${capture#corpus/}" ;;
    data/*) file="$root/tests/decode/data/${capture#data/}" ;;
    *) echo "make_field_outputs.sh: $name: unknown capture $capture" >&2; exit 1 ;;
  esac
  [ -f "$file" ] || { echo "make_field_outputs.sh: $name: no capture $file" >&2; exit 1; }
  read -r -a args <<<"$arguments"
  display=()
  [ "$filter" = - ] || display=(-Y "$filter")
  tshark -r "$file" -o tcp.desegment_tcp_streams:FALSE "${display[@]}" -T fields "${args[@]}" \
    2>/dev/null >"$out/$name.txt" || { echo "make_field_outputs.sh: $name: tshark failed" >&2; exit 1; }
  echo "$name: $(wc -l <"$out/$name.txt") lines"
done <"$cases"
