#!/usr/bin/env bash
# Sound benchmark: gravik dma and ayraw on a 16 MB sample, against the floor of
# reading the same sample and writing an output of the same size.
# bench_sound.sh <release build folder>
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
megabytes=16

"$build/bench_make_sound" "$work/bench.snd" "$work/volumes" "$megabytes"
"$build/bench_make_sound" "$work/noise.snd" "$work/volumes" "$megabytes" noise

source "$(dirname "$0")/timing.sh"
# The best of three runs: the machine may be busy with other work.
seconds() { best_seconds 3 "$@"; }

report() {
  local name=$1 sample=$2 output=$3 took=$4
  local bytes floor
  bytes=$(stat -c %s "$work/$output")
  floor=$(seconds "$build/bench_sound_floor" "$work/$sample.snd" "$work/floor.out" "$bytes")
  awk -v name="$name" -v mb="$megabytes" -v bytes="$bytes" -v took="$took" -v floor="$floor" 'BEGIN {
    printf "%-12s %3d MB sample -> %10d bytes: %7.1f MB/s (floor %7.1f MB/s, %.2fx the floor time)\n",
      name, mb, bytes, mb / took, mb / floor, took / floor }'
}

cd "$work"
# bench: tones, fades, silences and noise bursts; noise: a new level almost every step.
for sample in bench noise; do
  took=$(seconds "$build/gravik" dma "$sample" volumes)
  report "dma $sample" "$sample" "$sample.asm" "$took"
  took=$(seconds "$build/gravik" ayraw "$sample" volumes)
  report "ayraw $sample" "$sample" "$sample.ayl" "$took"
done
