#!/usr/bin/env bash
# quarn against the floor of loading its four step images and writing two
# 16 KB files, on a level that fills both banks and on a very wide one.
# bench_quarn.sh <release build folder> [runs]
set -euo pipefail
build=$(cd "$1" && pwd)
source "$(dirname "$0")/timing.sh"
runs=${2:-20}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bench_quarn_level" "$work"
cd "$work"
for level in full wide; do
  "$build/quarn" "$level" > /dev/null || { echo "quarn $level failed" >&2; exit 1; }
  quarn=$(best_seconds "$runs" "$build/quarn" "$level")
  floor=$(best_seconds "$runs" "$build/bench_quarn_floor" "$level")
  row "quarn $level level" "$quarn" "image load floor" "$floor" 1.50
done
