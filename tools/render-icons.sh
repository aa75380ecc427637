#!/usr/bin/env bash
# Renders the program icon's PNG sizes from its SVG (needs rsvg-convert,
# Debian package librsvg2-bin). Run after editing packaging/icons/tessarine.svg
# and commit the PNGs with it.
set -euo pipefail
icons=$(dirname "$0")/../packaging/icons
for size in 16 24 32 48 64 128 256; do
  rsvg-convert --width "$size" --height "$size" "$icons/tessarine.svg" -o "$icons/tessarine-$size.png"
done
