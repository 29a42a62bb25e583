#!/usr/bin/env bash
# Runs every benchmark script (bench/bench_*.sh) against a release build and
# prints one Markdown table: each benchmark, its floor, the ratio and the
# target, with the machine it ran on. Wall times are the best of several runs.
# run.sh <release build folder>
set -euo pipefail
build=$1
rows=$(mktemp)
trap 'rm -f "$rows"' EXIT
for script in "$(dirname "$0")"/bench_*.sh; do
  # Each script starts with no other script's writes pending: add0 syncs its
  # set, and that sync would otherwise wait for the lists the sound benchmark
  # left behind.
  sync
  # Rows go to the table; a script that reports in its own form (bench_ayopt)
  # prints its lines as they come.
  bash "$script" "$build" | { grep '^row|' || true; } >> "$rows"
done
cpu=$(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //')
echo "Machine: ${cpu:-unknown CPU}, $(nproc) cores, $(date -u +%Y-%m-%d)"
echo
echo "| Benchmark | gravik / quarn (s) | Floor | Floor (s) | Ratio | Target |"
echo "|---|---:|---|---:|---:|---:|"
awk -F'|' '{ printf "| %s | %.3f | %s | %.3f | %.2fx | %s |\n", $2, $3, $4, $5, $3 / $5, ($6 == "" ? "-" : "<= " $6 "x") }' "$rows"
