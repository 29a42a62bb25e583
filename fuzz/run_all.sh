#!/usr/bin/env bash
# Runs every fuzz target for a few seconds on its corpus from the repository.
# run_all.sh <fuzz build folder> <seconds per target>
set -euo pipefail
# A request for an impossible amount of memory gets a null pointer, as it does
# outside the sanitizer: what the program does with it is what counts.
export ASAN_OPTIONS=${ASAN_OPTIONS:-allocator_may_return_null=1}
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
  # A fixed seed keeps CI's short runs repeatable; the long campaigns vary it.
  if ! (cd "$scratch" && "$bin" -seed="${FUZZ_SEED:-1}" -max_total_time="$seconds" -rss_limit_mb=4096 -timeout=30 \
        -print_final_stats=1 "$scratch/$name" "$here/corpus/$name" 2>"$scratch/$name.log"); then
    tail -50 "$scratch/$name.log"
    status=1
  else
    grep -E 'stat::number_of_executed_units|Done' "$scratch/$name.log" | tail -2 || true
  fi
done
exit $status
