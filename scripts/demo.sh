#!/usr/bin/env bash
# The main job: make the sample assets and convert them with every command.
# demo.sh <build folder> <output folder>
set -euo pipefail
build=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
gravik="$build/gravik"

"$build/make_samples" "$out"
cd "$out"
run() {
  echo "\$ gravik $*"
  "$gravik" "$@" < /dev/null
}

# Screens
run mode0 title
run mode1 menu
run mode2 font

# Image utilities

# Sprites

# Tiles and maps

# Sound

# Level builder
echo "\$ quarn castle"
"$build/quarn" castle

echo
echo "Outputs in $out:"
ls -l "$out"
