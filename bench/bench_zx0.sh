#!/usr/bin/env bash
# gravik zx0 against the plain optimal parse (bench/zx0_plain.cpp, every
# offset at every position) on small inputs, where both must give the same
# size (their times are reported, not held to a target: a few milliseconds,
# most of gravik's the start-up that loads the image library); then on the
# demo's screens (16 KB), three of them (48 KB) and 1 MB, against the
# best-known compressor's figure of about 6 s of CPU for a 16 KB screen (it
# tries every offset at every position; 48 KB counted as three screens), with
# the 50 times target.
set -euo pipefail
source "$(dirname "$0")/timing.sh"
start_bench "$1"
cd "$work"
runs=${2:-5}
"$build/make_samples" . > /dev/null
"$build/gravik" ink0 painting.png painting --dither=floyd > /dev/null < /dev/null
for word in "scr0 painting" "scr0 title" "scr1 menu"; do "$build/gravik" $word > /dev/null < /dev/null; done
head -c 256 painting.scr > small_screen
head -c 256 /dev/urandom > small_random
head -c 4000 title.scr | tail -c 256 > small_title
for small in small_screen small_random small_title; do
  "$build/gravik" zx0 "$small" > /dev/null < /dev/null
  ours=$(stat -c %s "$small.zx0")
  plain=$("$build/bench_zx0_plain" "$small")
  [ "$ours" = "$plain" ] || { echo "zx0 $small: $ours bytes, the plain optimal parse $plain" >&2; exit 1; }
  echo "zx0 $small: $ours bytes, as the plain optimal parse" >&2
  row "zx0 $small (256 B)" "$(best_seconds "$runs" "$build/gravik" zx0 "$small")" "plain optimal parse" \
    "$(best_seconds "$runs" "$build/bench_zx0_plain" "$small")" ""
done
cat painting.scr title.scr menu.scr > three.scr
: > mega
while [ "$(stat -c %s mega)" -lt 1048576 ]; do cat three.scr small_random painting.scr >> mega; done
head -c 1048576 mega > one_mb
for input in painting.scr:6 title.scr:6 three.scr:18 one_mb:; do
  IFS=: read -r name floor <<< "$input"
  seconds=$(best_seconds "$runs" "$build/gravik" zx0 "$name")
  echo "zx0 $name: $(stat -c %s "$name") -> $(stat -c %s "$name.zx0") bytes" >&2
  if [ -n "$floor" ]; then
    row "zx0 $name" "$seconds" "best-known figure" "$floor" 0.02
  else
    row "zx0 1 MB" "$seconds" "one second" 1 ""
  fi
done
# The Z80 decoders' times on the demo's screens, both ways: exact counts of
# CPC NOPs (what the console line says), so one run each, to standard error.
for name in painting.scr title.scr menu.scr three.scr; do
  "$build/gravik" zx0 "$name" < /dev/null | tail -1 >&2
  "$build/gravik" zx0 "$name" --backward < /dev/null | tail -1 >&2
done
