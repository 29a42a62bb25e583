#!/usr/bin/env bash
# The main job: make the sample assets and convert them with every command.
# demo.sh <build folder> <output folder>
set -euo pipefail
build=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
gravik="$build/gravik"

"$build/make_samples" "$out"
cd "$out"
run() {
  echo "\$ gravik $*"
  "$gravik" "$@" < /dev/null
}

# Screens
run mode0 title
run mode1 menu
run mode2 font

# Image utilities
run raw logo
run pal logo 0
run spt sheet
run bmp art.png art.bmp
run bmp photo.tga photo.bmp
run raw art
run raw photo   # 24 bits: refused, a picture must be 8-bit to enter the toolkit

# Sprites

# Tiles and maps

# Sound

# Level builder

echo
echo "Outputs in $out:"
ls -l "$out"
