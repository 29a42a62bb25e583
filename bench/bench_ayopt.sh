#!/usr/bin/env bash
# ayopt search: chunk 64 against chunk 2147483647 on lists of 160 K and 16 M
# words, random and music-like. A search past 60 s is stopped and says where.
# bench_ayopt.sh <release build folder>
set -euo pipefail
"$1/bench_ayopt_search" 163840 16777216 >&2
