#!/usr/bin/env bash
# Renders hygrovane.ico, the executable's icon on Windows, from the SVG icon
# the Linux menus use, at the sizes Explorer and the taskbar ask for: 16, 32
# and 48 px as bitmaps, 256 px as PNG (the form Windows expects at that size,
# and a fraction of the bytes). The .ico is kept in the repository, so a
# Windows build needs neither tool; run this again after changing the SVG.
#   packaging/windows/make-icon.sh
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)

"$root/scripts/install-deps.sh" librsvg2-bin icoutils

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for size in 16 32 48 256; do
  rsvg-convert --width "$size" --height "$size" "$root/packaging/hygrovane.svg" -o "$scratch/$size.png"
done
icotool --create -o "$here/hygrovane.ico" \
  "$scratch/16.png" "$scratch/32.png" "$scratch/48.png" --raw="$scratch/256.png"
icotool --list "$here/hygrovane.ico"
