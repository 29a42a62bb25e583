#!/usr/bin/env bash
# gravik ink0 on a 4096 x 4096 true-colour PNG against the floor: loading the
# same PNG through FreeImage. Targets: at most 2x the load without dithering,
# 3x with Floyd-Steinberg (both with --preview=no); the preview's own cost is
# reported apart. With CALLGRIND=1 (and valgrind installed) the instruction
# counts are given too: steadier than wall times on a loaded machine.
set -euo pipefail
source "$(dirname "$0")/timing.sh"
start_bench "$1"
cd "$work"
"$build/make_colour_picture" big.png 4096 4096
runs=${RUNS:-5}
floor=$(best_seconds $runs "$build/bench_colour_floor" big.png)
plain=$(best_seconds $runs "$build/gravik" ink0 big.png big --preview=no)
floyd=$(best_seconds $runs "$build/gravik" ink0 big.png big --preview=no --dither=floyd)
preview=$(best_seconds $runs "$build/gravik" ink0 big.png big)
row "ink0 4096 x 4096 PNG, --preview=no" "$plain" "PNG load floor" "$floor" 2.00
row "ink0 4096 x 4096 PNG, --preview=no --dither=floyd" "$floyd" "PNG load floor" "$floor" 3.00
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
