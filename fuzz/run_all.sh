#!/usr/bin/env bash
# Runs every fuzz target for a few seconds on its corpus from the repository.
# run_all.sh <fuzz build folder> <seconds per target>
set -euo pipefail
build=$(cd "$1" && pwd)
seconds=$2
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
status=0
for bin in "$build"/fuzz_*; do
  name=$(basename "$bin")
  name=${name#fuzz_}
  mkdir -p "$scratch/$name" "$here/corpus/$name"
  echo "== fuzz_$name: ${seconds}s"
  # New inputs go to the scratch folder; the kept corpus is only read.
  if ! (cd "$scratch" && "$bin" -max_total_time="$seconds" -rss_limit_mb=4096 -timeout=10 \
        -print_final_stats=1 "$scratch/$name" "$here/corpus/$name" 2>"$scratch/$name.log"); then
    tail -50 "$scratch/$name.log"
    status=1
  else
    grep -E 'stat::number_of_executed_units|Done' "$scratch/$name.log" | tail -2 || true
  fi
done
exit $status
