#!/usr/bin/env bash
# Renders the program's icon from its SVG into the PNG sizes the desktop
# wants (48 and 256 px). The PNGs are committed; run this after changing the
# SVG. Needs rsvg-convert (Debian package librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")/../dist/linux/icons"
name=com.brenmoor.Quorvanet
for size in 48 256; do
  mkdir -p "${size}x${size}"
  rsvg-convert -w "$size" -h "$size" "$name.svg" -o "${size}x${size}/$name.png"
done
