# Shared by the benchmark scripts.

# start_bench BUILD: the build folder as an absolute path in $build, and a
# scratch folder in $work that is removed when the script ends.
start_bench() {
  build=$(cd "$1" && pwd)
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
}

# best_seconds RUNS command... prints the
# shortest wall time of RUNS runs, in seconds.
best_seconds() {
  local runs=$1
  shift
  local best=""
  for _ in $(seq "$runs"); do
    local start end
    start=$(date +%s%N)
    "$@" > /dev/null 2>&1 < /dev/null
    end=$(date +%s%N)
    local ns=$((end - start))
    if [ -z "$best" ] || [ "$ns" -lt "$best" ]; then best=$ns; fi
  done
  awk -v ns="$best" 'BEGIN { printf "%.4f", ns / 1e9 }'
}

# ratio A B: A / B with two decimals.
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

# row BENCHMARK SECONDS FLOOR_NAME FLOOR_SECONDS TARGET: one line of the table
# bench/run.sh prints (the scripts print nothing else on standard output).
row() { echo "row|$1|$2|$3|$4|$5"; }
