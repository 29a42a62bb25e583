#!/usr/bin/env bash
# A long fuzzing run of every target, two at a time, keeping what it finds:
# campaign.sh <fuzz build folder> <seconds per target> <output folder>
# Crashes land in <output>/<target>/ as crash-* files; the statistics of each
# run in <output>/<target>.log. New interesting inputs are merged back into
# fuzz/corpus/<target>/ afterwards with -merge=1, so CI's short runs start
# from everything the campaign reached.
set -euo pipefail
# A request for an impossible amount of memory gets a null pointer, as it does
# outside the sanitizer: what the program does with it is what counts.
export ASAN_OPTIONS=${ASAN_OPTIONS:-allocator_may_return_null=1}
build=$(cd "$1" && pwd)
seconds=$2
mkdir -p "$3"
out=$(cd "$3" && pwd)
here=$(cd "$(dirname "$0")" && pwd)

run_one() {
  local bin=$1 name
  name=$(basename "$bin")
  name=${name#fuzz_}
  mkdir -p "$out/$name/new" "$here/corpus/$name"
  (cd "$out/$name" && "$bin" -max_total_time="$seconds" -rss_limit_mb=4096 -timeout=10 -max_len=8192 \
      -print_final_stats=1 -artifact_prefix="$out/$name/" "$out/$name/new" "$here/corpus/$name" \
      > "$out/$name.log" 2>&1) || echo "fuzz_$name stopped with a finding, see $out/$name.log"
  grep -E '^stat::number_of_executed_units|^Done' "$out/$name.log" | sed "s/^/fuzz_$name: /" || true
}

export -f run_one
export out seconds here
ls "$build"/fuzz_* | xargs -P 2 -I{} bash -c 'run_one {}'
