#!/usr/bin/env bash
# Writes what tshark prints for each -z case of tests/cli/data/statistics_cases.tsv
# into tests/cli/data/statistics/NAME.txt, which tests/cli/statistics_output_test.cpp
# compares with quorvanet-cli's output, so tshark need not run there.
#
#   tools/make_statistics_outputs.sh [CORPUS_DIR]    (default: ../shared/corpus beside the source tree)
#
# As for the field outputs, TCP reassembly is off (our decoders read each
# frame by itself); names are not resolved (-n: the tables show MAC
# addresses as numbers); the C locale writes counts without grouping. A
# case's display filter is given as -2 -R, so that the tables count only the
# frames it matches, as quorvanet-cli's -Y does (tshark's own -Y leaves its
# tables counting every frame read).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
corpus=${1:-"$root/../shared/corpus"}
cases="$root/tests/cli/data/statistics_cases.tsv"
out="$root/tests/cli/data/statistics"
command -v tshark >/dev/null || { echo "make_statistics_outputs.sh: tshark is missing" >&2; exit 1; }
mkdir -p "$out"
export LC_ALL=C

while IFS= read -r line; do
  case "$line" in '' | '#'*) continue ;; esac
  IFS=$'\t' read -r -a column <<<"$line"
  name=${column[0]} capture=${column[1]} filter=${column[2]}
  case "$capture" in
    corpus/*) file="$corpus/${capture#corpus/}" ;;
    data/*) file="$root/tests/decode/data/${capture#data/}" ;;
    *) echo "make_statistics_outputs.sh: $name: unknown capture $capture" >&2; exit 1 ;;
  esac
  [ -f "$file" ] || { echo "make_statistics_outputs.sh: $name: no capture $file" >&2; exit 1; }
  args=()
  [ "$filter" = - ] || args=(-2 -R "$filter")
  for z in "${column[@]:3}"; do args+=(-z "$z"); done
  tshark -n -r "$file" -o tcp.desegment_tcp_streams:FALSE -q "${args[@]}" \
    2>/dev/null >"$out/$name.txt" || { echo "make_statistics_outputs.sh: $name: tshark failed" >&2; exit 1; }
  echo "$name: $(wc -l <"$out/$name.txt") lines"
done <"$cases"
