#!/usr/bin/env bash
# Installs the build and test dependencies with apt when they are missing.
# Safe to run again: it does nothing when everything is there.
set -euo pipefail

packages=(cmake g++ make googletest libgtest-dev libbenchmark-dev
          g++-mingw-w64-i686 clang-14 libfuzzer-14-dev libclang-rt-14-dev iproute2 util-linux)

missing=()
for p in "${packages[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
dpkg -s wine32:i386 >/dev/null 2>&1 || missing+=(wine32:i386 wine)

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "setup: installing ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
