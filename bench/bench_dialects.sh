#!/usr/bin/env bash
# The source dialects: gravik data on a 1 MB file in each syntax, and the
# sound lists (dma, ay) on the 16 MB samples in sdasz80 and C, against the
# floor of reading the input and writing a file of the outputs' size (the
# source and its header together).
# bench_dialects.sh <release build folder> [runs]
set -euo pipefail
source "$(dirname "$0")/timing.sh"
start_bench "$1"
runs=${2:-5}
cd "$work"
head -c 1048576 /dev/urandom > data.bin
"$build/bench_make_sound" "$work/music.snd" "$work/volumes" 16
"$build/bench_make_sound" "$work/noise.snd" "$work/volumes" 16 noise

# outputs_bytes FILE...: the sizes of the files that exist, summed.
outputs_bytes() {
  local total=0
  for f in "$@"; do [ -e "$f" ] && total=$((total + $(stat -c %s "$f"))); done
  echo "$total"
}

for syntax in winape sdasz80 c; do
  took=$(best_seconds "$runs" "$build/gravik" --syntax=$syntax data data.bin blob)
  bytes=$(outputs_bytes blob.asm blob.s blob.c blob.h)
  rm -f blob.asm blob.s blob.c blob.h
  floor=$(best_seconds "$runs" "$build/bench_sound_floor" data.bin floor.out "$bytes")
  row "data, 1 MB, --syntax=$syntax" "$took" "read+write floor" "$floor" 2.00
done
for syntax in sdasz80 c; do
  for sample in music noise; do
    for pair in dma: ay:_ay; do
      IFS=: read -r word suffix <<< "$pair"
      took=$(best_seconds "$runs" "$build/gravik" --syntax=$syntax "$word" "$sample" volumes)
      bytes=$(outputs_bytes "$sample$suffix.s" "$sample$suffix.c" "$sample$suffix.h")
      floor=$(best_seconds "$runs" "$build/bench_sound_floor" "$sample.snd" floor.out "$bytes")
      row "$word --syntax=$syntax, 16 MB $sample" "$took" "read+write floor" "$floor" 2.00
    done
  done
done
