#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those that are missing.
# Quick when everything is present: no network is touched then.
set -euo pipefail

packages=(
  g++ cmake make
  libfreeimage-dev
  libgtest-dev
  clang libclang-rt-14-dev
  pasmo libz80ex-dev
  imagemagick
  strace
)

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
