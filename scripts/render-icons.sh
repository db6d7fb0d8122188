#!/usr/bin/env bash
# Renders data/icons/quillon.svg into the hicolor PNGs under data/icons/hicolor, which are
# committed so that building needs no SVG renderer. Run it again after changing the SVG.
# Needs rsvg-convert (librsvg2-bin) or, failing that, ImageMagick's convert.
set -euo pipefail
cd "$(dirname "$0")/.."

svg=data/icons/quillon.svg
for size in 16 22 24 32 48 64 128 256; do
  out=data/icons/hicolor/${size}x${size}/quillon.png
  mkdir -p "$(dirname "$out")"
  if command -v rsvg-convert >/dev/null; then
    rsvg-convert -w "$size" -h "$size" "$svg" -o "$out"
  else
    convert -background none -density 384 "$svg" -resize "${size}x${size}" "$out"
  fi
  echo "render-icons: $out"
done
