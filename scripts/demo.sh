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

# Any picture in: a true-colour PNG to 16 pens and their inks, then to the screen
run ink0 painting.png painting --dither=floyd
run mode0 painting

# Screens
run mode0 title
run mode1 menu
run mode2 font
run pal title 0

# Image utilities
run raw logo
run pal logo 0
run spt sheet
run bmp art.png art.bmp
run bmp photo.tga photo.bmp
run raw art
run raw photo   # 24 bits: refused, a picture must be 8-bit to enter the toolkit

# Sprites
run basic coin
run half coin
run rle coin '#9000'
run asm ship
run key walk1 walk2

# Tiles and maps
rm -f rooms.set
run add0 room1 rooms
run add0 room2 rooms
run final0 rooms
run col room_map 16 6

# Sound
run dma blip volumes.tab
run ay blip volumes.tab
run ayraw blip volumes.tab
run ayopt blip 0

# Level builder
echo "\$ quarn castle"
"$build/quarn" castle

# Onto a CPC disk: the title screen in the CPC's own layout, its palette source
# (stored as text, under a name that fits CP/M) and a sprite, then the listing.
run scr0 title
cp title_pal.asm inks.asm
rm -f demo.dsk
run dsk demo.dsk 'title.scr@&C000' 'inks.asm@-' 'coin.px8@&4000'
run dsk demo.dsk

echo
echo "Outputs in $out:"
ls -l "$out"
