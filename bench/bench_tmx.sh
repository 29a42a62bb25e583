#!/usr/bin/env bash
# gravik tmx on a 1024 x 1024 map of 4 x 8 tiles in four base64 zlib layers
# (a full ground layer and three sparse ones, flips among them) against the
# floor: read the file, decode the base64, inflate the layers and load the
# tileset picture. Target: at most 1.5x the floor with --preview=no; the
# preview (a 16384 x 16384 picture for this map) is reported apart.
set -euo pipefail
source "$(dirname "$0")/timing.sh"
start_bench "$1"
cd "$work"
"$build/bench_make_tmx_map" level.tmx tiles.png 1024
runs=${RUNS:-5}
floor=$(best_seconds "$runs" "$build/bench_tmx_floor" level.tmx tiles.png 1048576)
plain=$(best_seconds "$runs" "$build/gravik" tmx level.tmx level --preview=no)
preview=$(best_seconds 1 "$build/gravik" tmx level.tmx level)
row "tmx 1024 x 1024 cells, 4 zlib layers, --preview=no" "$plain" "read, base64, inflate floor" "$floor" 1.50
row "tmx 1024 x 1024 cells, 4 zlib layers, with its preview" "$preview" "read, base64, inflate floor" "$floor" ""
