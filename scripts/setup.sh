#!/usr/bin/env bash
# Installs every Debian package Kolvenar needs to build, test and run.
# Safe to run again: apt-get skips what is installed already.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  libwxgtk3.2-dev libmspack-dev zlib1g-dev libisofs-dev libxxhash-dev libcli11-dev
  nasm
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  xvfb xauth qemu-system-x86 xorriso genisoimage cabextract gcab libimage-exiftool-perl
  time
)

if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
