#!/usr/bin/env bash
# gravik dma and ayraw on 16 MB samples (music-like: tones, fades, silences and
# noise bursts; noise: a new level almost every step), against the floor of
# reading the same sample in blocks and writing an output of the same size.
# bench_sound.sh <release build folder> [runs]
set -euo pipefail
source "$(dirname "$0")/timing.sh"
start_bench "$1"
runs=${2:-5}
megabytes=16
"$build/bench_make_sound" "$work/music.snd" "$work/volumes" "$megabytes"
"$build/bench_make_sound" "$work/noise.snd" "$work/volumes" "$megabytes" noise
cd "$work"
for sample in music noise; do
  for pair in dma:asm ayraw:ayl; do
    IFS=: read -r word extension <<< "$pair"
    took=$(best_seconds "$runs" "$build/gravik" "$word" "$sample" volumes)
    bytes=$(stat -c %s "$sample.$extension")
    floor=$(best_seconds "$runs" "$build/bench_sound_floor" "$sample.snd" floor.out "$bytes")
    row "$word, 16 MB $sample" "$took" "read+write floor" "$floor" 2.00
  done
done
