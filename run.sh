#!/usr/bin/env bash
# Sets up a fresh Debian machine (packages, release build) and starts
# Quorvanet on the bundled sample capture, or on the capture file given as
# the argument. Without a display it prints the capture with quorvanet-cli.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
quorvanet_install_packages
quorvanet_build release
capture=${1:-samples/demo.pcap}
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec build/release/src/ui/quorvanet "$capture"
fi
echo "No display: printing $capture with quorvanet-cli instead of opening the window." >&2
exec build/release/src/cli/quorvanet-cli -r "$capture"
