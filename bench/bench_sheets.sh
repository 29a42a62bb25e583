#!/usr/bin/env bash
# sheet0 on a 4096 x 4096 sheet of 16 x 16 frames against the packing floor
# of the sheet words (bench/sheet_floor.cpp): load, pack frame after frame
# through tables, write. Without a mask gravik's frames file must equal the
# floor's output; with --mask and --mirror it writes four times the bytes and
# its source, against the same floor.
set -euo pipefail
source "$(dirname "$0")/timing.sh"
start_bench "$1"
cd "$work"
"$build/make_picture" big.bmp 4096 4096
runs=${2:-9}
floor=$(best_seconds "$runs" "$build/bench_sheet_floor" big.bmp floor.out 16 16)
plain=$(best_seconds "$runs" "$build/gravik" sheet0 big 16 16)
cmp -s big.spr floor.out || { echo "sheet0: frames differ from the floor's" >&2; exit 1; }
row "sheet0 4096 x 4096, 16 x 16 frames" "$plain" "sheet packing floor" "$floor" 1.00
masked=$(best_seconds "$runs" "$build/gravik" sheet0 big 16 16 --mask=0 --mirror)
row "sheet0 4096 x 4096, 16 x 16 frames, --mask --mirror" "$masked" "sheet packing floor" "$floor" 1.50
