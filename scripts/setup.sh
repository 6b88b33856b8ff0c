#!/usr/bin/env bash
# Installs the Debian packages the project needs, and only those missing.
# Safe to run any number of times; `make demo`, `make test` and CI call it.
set -euo pipefail

packages=(
  cmake make g++ pkg-config
  openjdk-17-jdk-headless
  junit5
  libgtest-dev googletest
  nlohmann-json3-dev
  libstb-dev libjpeg-dev libpng-dev
  mingw-w64 g++-mingw-w64-x86-64 g++-mingw-w64-i686 binutils-mingw-w64
  wine wine64
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "setup: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
