#!/usr/bin/env bash
# quarn against the floor of loading its four step images and writing two
# 16 KB files, on a level that fills both banks and on a very wide one.
# bench_quarn.sh <release build folder> [runs]
set -euo pipefail
build=$(cd "$1" && pwd)
runs=${2:-20}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bench_quarn_level" "$work"
cd "$work"

# Milliseconds per run of a command, over $runs runs.
per_run_ms() {
  local start end
  start=$(date +%s%N)
  for ((i = 0; i < runs; i++)); do "$@" > /dev/null; done
  end=$(date +%s%N)
  echo $(( (end - start) / runs / 1000 ))
}

for level in full wide; do
  "$build/quarn" "$level" | grep -E '^(Tiles    :[0-9]|-A|Map  |Estimated|Last Byte)' | tr '\n' ' '
  echo
  quarn_us=$(per_run_ms "$build/quarn" "$level")
  floor_us=$(per_run_ms "$build/bench_quarn_floor" "$level")
  awk -v l="$level" -v q="$quarn_us" -v f="$floor_us" \
    'BEGIN { printf "%-5s quarn %.2f ms, floor %.2f ms, ratio %.2f (target 2.00 or less)\n", l, q / 1000, f / 1000, q / f }'
done
