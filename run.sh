#!/usr/bin/env bash
# Sets up a fresh Debian machine (packages, release build) and starts
# Quorvanet on the bundled sample capture. Arguments, when given, go to the
# program instead: ./run.sh -i eth0
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
quorvanet_install_packages
quorvanet_build release
if [ $# -eq 0 ]; then
  set -- -r samples/demo.pcap
fi
exec build/release/src/cli/quorvanet-cli "$@"
