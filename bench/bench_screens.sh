#!/usr/bin/env bash
# gravik mode0 on a 4096 x 4096 picture against the floor: load the same
# picture through FreeImage and write the same number of bytes.
set -euo pipefail
build=$(cd "$1" && pwd)
source "$(dirname "$0")/timing.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$build/make_picture" big.bmp 4096 4096
runs=9
gravik=$(best_seconds $runs "$build/gravik" mode0 big)
floor=$(best_seconds $runs "$build/bench_floor" big.bmp floor.out $((4096 * 4096 / 2)))
cmp -s <(stat -c %s big.pm0) <(stat -c %s floor.out) || { echo "output sizes differ"; exit 1; }
echo "mode0 4096x4096: gravik ${gravik}s  floor ${floor}s  ratio $(ratio "$gravik" "$floor") (target <= 1.25)"
