#!/usr/bin/env bash
# gravik add0 (the whole process) on a 4096 x 4096 picture holding 200
# different 4 x 8 tiles, against the load floor: load the same picture through
# FreeImage and write a file of the tileset's size. The first, untimed run
# creates the set; each timed run reads it, matches all 524288 tiles against
# it and rewrites it.
set -euo pipefail
source "$(dirname "$0")/timing.sh"
start_bench "$1"
cd "$work"
"$build/make_tile_picture" level.bmp 4096 200
runs=${2:-9}
"$build/gravik" add0 level level > /dev/null
gravik=$(best_seconds "$runs" "$build/gravik" add0 level level)
floor=$(best_seconds "$runs" "$build/bench_floor" load level.bmp floor.out "$(stat -c %s level.set)")
row "add0 4096 x 4096, 200 tiles" "$gravik" "load floor" "$floor" 1.50
