#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Installs the build and test dependencies listed in scripts/packages.txt
# with apt when they are missing. Safe to run again: it does nothing when
# everything is there.
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t packages < <(grep -v '^\s*\(#\|$\)' scripts/packages.txt)
missing=()
for p in "${packages[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
# Debian's nodejs comes without npm; other builds of nodejs conflict with it.
command -v npm >/dev/null 2>&1 || missing+=(npm)
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "setup: installing ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get -o Acquire::Retries=3 update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get -o Acquire::Retries=3 install -y -qq \
    --no-install-recommends "${missing[@]}"
