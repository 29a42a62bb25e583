#!/usr/bin/env bash
# Runs every benchmark script (bench/bench_*.sh) against a release build.
set -euo pipefail
build=$1
for script in "$(dirname "$0")"/bench_*.sh; do
  echo "== $(basename "$script")"
  bash "$script" "$build"
done
