#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those that are missing.
# Quick when everything is present: no network is touched then.
#
#   install_deps.sh                   everything make demo, test, bench and fuzz need
#   install_deps.sh GROUP...          only these groups:
#     programs  build gravik and quarn (a compiler, cmake, FreeImage, libdsk, pugixml, zlib, zstd)
#     tests     the test suite, the fuzz targets and the sample pictures
#     package   what cpack needs to make the .deb (file, dpkg-shlibdeps)
set -euo pipefail

programs=(g++ cmake make libfreeimage-dev libdsk4-dev libpugixml-dev zlib1g-dev libzstd-dev)
tests=(
  libgtest-dev
  clang libclang-rt-14-dev
  pasmo libz80ex-dev
  sdcc
  imagemagick
  cpmtools libdsk-utils
  strace
  tiled xvfb
)
package=(file dpkg-dev)

groups=("$@")
[ ${#groups[@]} -eq 0 ] && groups=(programs tests)
packages=()
for group in "${groups[@]}"; do
  case "$group" in
    programs) packages+=("${programs[@]}") ;;
    tests) packages+=("${tests[@]}") ;;
    package) packages+=("${package[@]}") ;;
    *) echo "install_deps.sh: unknown group '$group' (programs, tests, package)" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
as_root=()
[ "$(id -u)" -ne 0 ] && as_root=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
