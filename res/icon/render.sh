#!/bin/sh
# Renders the Velto icon images and packs them into res/Velto.ico.
# The PNGs and the .ico are kept in the tree; run this only after editing the SVGs.
# 16 and 24 px come from velto-16.svg and velto-24.svg (drawn on their pixel grids), the rest from velto.svg.
# Every .ico entry stays a PNG (8-bit RGBA), which windres copies verbatim.
set -eu
cd "$(dirname "$0")"

missing=""
command -v rsvg-convert >/dev/null 2>&1 || missing="$missing librsvg2-bin"
command -v icotool >/dev/null 2>&1 || missing="$missing icoutils"
if [ -n "$missing" ]; then
    apt-get update
    apt-get install -y $missing
fi

raws=""
for size in 16 24 32 48 64 128 256; do
    src=velto.svg
    [ -f "velto-$size.svg" ] && src="velto-$size.svg"
    rsvg-convert --format=png --width="$size" --height="$size" --output="velto-$size.png" "$src"
    raws="$raws --raw=velto-$size.png"
done
icotool --create $raws --output=../Velto.ico
icotool --list ../Velto.ico
