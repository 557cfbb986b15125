#!/bin/sh
# Renders the hicolor PNG sizes of the icon from telvane.svg (needs rsvg-convert, Debian
# librsvg2-bin). Run from this folder after editing the SVG and commit the results.
set -eu
for size in 48 128; do
  mkdir -p "${size}x${size}"
  rsvg-convert --width "$size" --height "$size" --keep-aspect-ratio telvane.svg \
    --output "${size}x${size}/telvane.png"
done
