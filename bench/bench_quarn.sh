#!/usr/bin/env bash
# quarn against the floor of loading its four step images and writing two
# 16 KB files, on a level that fills both banks and on a very wide one.
# bench_quarn.sh <release build folder> [runs]
set -euo pipefail
source "$(dirname "$0")/timing.sh"
start_bench "$1"
runs=${2:-20}
"$build/bench_quarn_level" "$work"
cd "$work"
for level in full wide; do
  "$build/quarn" "$level" > /dev/null || { echo "quarn $level failed" >&2; exit 1; }
  quarn=$(best_seconds "$runs" "$build/quarn" "$level")
  floor=$(best_seconds "$runs" "$build/bench_quarn_floor" "$level")
  row "quarn $level level" "$quarn" "image load floor" "$floor" 1.50
done
