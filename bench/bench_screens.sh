#!/usr/bin/env bash
# The linear screens and raw pens on a 4096 x 4096 picture against the packing
# floor (bench/floor.cpp): load, turn upright, pack through tables, write. The
# floor packs with the real CPC layouts, so its output must equal gravik's.
set -euo pipefail
source "$(dirname "$0")/timing.sh"
start_bench "$1"
cd "$work"
"$build/make_picture" big.bmp 4096 4096
runs=${2:-9}
for pair in mode0:pack0:pm0 mode1:pack1:pm1 mode2:pack2:pm2 raw:raw:px8; do
  IFS=: read -r word floor_kind extension <<< "$pair"
  gravik=$(best_seconds "$runs" "$build/gravik" "$word" big)
  floor=$(best_seconds "$runs" "$build/bench_floor" "$floor_kind" big.bmp floor.out)
  cmp -s "big.$extension" floor.out || { echo "$word: output differs from the floor's" >&2; exit 1; }
  row "$word 4096 x 4096" "$gravik" "packing floor" "$floor" 1.00
done
