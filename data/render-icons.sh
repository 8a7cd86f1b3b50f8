#!/usr/bin/env bash
# Renders the committed PNG icons from icons/tunvero.svg; run again after changing the SVG.
# Needs rsvg-convert (Debian package librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")/icons"
for size in 16 24 32 48 64 128 256; do
    rsvg-convert -w "$size" -h "$size" tunvero.svg -o "tunvero-$size.png"
done
