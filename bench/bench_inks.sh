#!/usr/bin/env bash
# gravik ink0 on two 4096 x 4096 true-colour PNGs against the floor: loading
# the same PNG through FreeImage. The pictures: gradients with flat ink areas
# (colours that repeat), and noise (every pixel a new colour: nothing can be
# kept per colour, the worst case). Targets: at most 2x the load without
# dithering, 3x with Floyd-Steinberg (all with --preview=no), with and
# without --plus; the preview's own cost is reported apart. With CALLGRIND=1
# (and valgrind installed) the instruction counts are given too: steadier
# than wall times on a loaded machine.
set -euo pipefail
source "$(dirname "$0")/timing.sh"
start_bench "$1"
cd "$work"
"$build/make_colour_picture" big.png 4096 4096
"$build/make_colour_picture" noise.png 4096 4096 noise
runs=${RUNS:-5}
for picture in big noise; do
  floor=$(best_seconds $runs "$build/bench_colour_floor" $picture.png)
  for plus in "" " --plus"; do
    # shellcheck disable=SC2086
    plain=$(best_seconds $runs "$build/gravik" ink0 $picture.png out --preview=no $plus)
    # shellcheck disable=SC2086
    floyd=$(best_seconds $runs "$build/gravik" ink0 $picture.png out --preview=no --dither=floyd $plus)
    row "ink0 4096 x 4096 $picture PNG, --preview=no$plus" "$plain" "PNG load floor" "$floor" 2.00
    row "ink0 4096 x 4096 $picture PNG, --preview=no --dither=floyd$plus" "$floyd" "PNG load floor" "$floor" 3.00
  done
done
floor=$(best_seconds $runs "$build/bench_colour_floor" big.png)
preview=$(best_seconds $runs "$build/gravik" ink0 big.png big)
row "ink0 4096 x 4096 PNG with its preview" "$preview" "PNG load floor" "$floor" ""
if [ "${CALLGRIND:-0}" = 1 ] && command -v valgrind > /dev/null; then
  count() {
    valgrind --tool=callgrind --callgrind-out-file=cg.out "$@" > /dev/null 2>&1 < /dev/null
    callgrind_annotate cg.out 2>/dev/null | awk '/PROGRAM TOTALS/ { gsub(",", "", $1); print $1 }'
  }
  f=$(count "$build/bench_colour_floor" big.png)
  p=$(count "$build/gravik" ink0 big.png big --preview=no)
  d=$(count "$build/gravik" ink0 big.png big --preview=no --dither=floyd)
  echo "  instructions: floor $f, no dither $p ($(ratio "$p" "$f")x), floyd $d ($(ratio "$d" "$f")x)"
fi
