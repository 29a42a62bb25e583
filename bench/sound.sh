#!/usr/bin/env bash
# Sound benchmark: gravik dma and ayraw on a 16 MB sample, against the floor of
# reading the same sample and writing an output of the same size.
# sound.sh <release build folder>
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
megabytes=16

"$build/bench/bench_make_sound" "$work/bench.snd" "$work/volumes" "$megabytes"
"$build/bench/bench_make_sound" "$work/noise.snd" "$work/volumes" "$megabytes" noise

# The best of three runs: the machine may be busy with other work.
seconds() {
  local start end took best=""
  for _ in 1 2 3; do
    start=$(date +%s.%N)
    "$@" > /dev/null < /dev/null
    end=$(date +%s.%N)
    took=$(echo "$end - $start" | bc -l)
    if [ -z "$best" ] || [ "$(echo "$took < $best" | bc -l)" = 1 ]; then best=$took; fi
  done
  echo "$best"
}

report() {
  local name=$1 sample=$2 output=$3 took=$4
  local bytes floor
  bytes=$(stat -c %s "$work/$output")
  floor=$(seconds "$build/bench/bench_sound_floor" "$work/$sample.snd" "$work/floor.out" "$bytes")
  printf '%-12s %3d MB sample -> %10d bytes: %7.1f MB/s (floor %7.1f MB/s, %.2fx the floor time)\n' \
    "$name" "$megabytes" "$bytes" "$(echo "$megabytes / $took" | bc -l)" \
    "$(echo "$megabytes / $floor" | bc -l)" "$(echo "$took / $floor" | bc -l)"
}

cd "$work"
# bench: tones, fades, silences and noise bursts; noise: a new level almost every step.
for sample in bench noise; do
  took=$(seconds "$build/gravik" dma "$sample" volumes)
  report "dma $sample" "$sample" "$sample.asm" "$took"
  took=$(seconds "$build/gravik" ayraw "$sample" volumes)
  report "ayraw $sample" "$sample" "$sample.ayl" "$took"
done
