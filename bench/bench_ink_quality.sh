#!/usr/bin/env bash
# The ink words' quality: the mean delta E between each picture and its
# result, both blurred by a Gaussian of one pixel (bench_seen_error), on
# pictures drawn here (gradients, a grey granite texture, a photograph-like
# card). gravik ink0 / ink1 --dither=floyd is set against the best that
# ImageMagick makes with the mode's pens: -colors N, then -remap onto the 27
# CPC colours, with and without its own dither (which then dithers onto the
# N colours that remap chose). Targets: at most 0.75x that,
# and never worse than the same word without dither (ratio at most 1).
# The rows' figures are delta E, not seconds.
set -euo pipefail
source "$(dirname "$0")/timing.sh"
start_bench "$1"
cd "$work"
command -v convert > /dev/null || { echo "bench_ink_quality: ImageMagick's convert is missing" >&2; exit 1; }
# The 27 colours, one pixel each.
colours=()
for r in 00 80 FF; do for g in 00 80 FF; do for b in 00 80 FF; do colours+=("xc:#$r$g$b"); done; done; done
convert "${colours[@]}" +append palette.png
draw() {  # draw NAME WIDTH HEIGHT: the pictures, the size of mode 0 or 1 screens
  local size=$2x$3
  convert -size "$size" gradient:navy-orange "$1_gradient.png"
  convert -size "$size" -define gradient:angle=45 gradient:'#20C040'-'#F02060' "$1_diagonal.png"
  convert -seed 5 -size "$size" plasma:gray35-gray75 -colorspace gray -seed 5 +noise Gaussian "$1_granite.png"
  convert -seed 7 -size "$size" plasma:fractal -blur 0x1 "$1_card.png"
}
seen() { "$build/bench_seen_error" "$1" "$2"; }
measure() {  # measure MODE PENS PICTURE
  local mode=$1 pens=$2 picture=$3 base=${3%.png}
  "$build/gravik" "ink$mode" "$picture" "$base.plain" --preview=no > /dev/null
  "$build/gravik" "ink$mode" "$picture" "$base.floyd" --preview=no --dither=floyd > /dev/null
  # A dithered -remap onto all 27 colours would use more colours than the
  # pens: ImageMagick's dither goes onto the N CPC colours its plain result
  # chose instead, so that both results fit the mode.
  convert "$picture" +dither -colors "$pens" +dither -remap palette.png "$base.im_plain.png"
  convert "$picture" -dither FloydSteinberg -remap "$base.im_plain.png" "$base.im_floyd.png"
  for result in "$base.im_plain.png" "$base.im_floyd.png"; do
    [ "$(convert "$result" -format %k info:)" -le "$pens" ] || { echo "$result: too many colours" >&2; exit 1; }
  done
  local plain floyd im
  plain=$(seen "$picture" "$base.plain.bmp")
  floyd=$(seen "$picture" "$base.floyd.bmp")
  im=$(awk -v a="$(seen "$picture" "$base.im_plain.png")" -v b="$(seen "$picture" "$base.im_floyd.png")" \
    'BEGIN { print (a < b ? a : b) }')
  row "ink$mode $base --dither=floyd, seen delta E" "$floyd" "best ImageMagick -colors $pens -remap" "$im" 0.75
  row "ink$mode $base --dither=floyd, seen delta E" "$floyd" "ink$mode without dither" "$plain" 1.00
}
draw m0 160 200
draw m1 320 200
for picture in m0_*.png; do measure 0 16 "$picture"; done
for picture in m1_*.png; do measure 1 4 "$picture"; done
