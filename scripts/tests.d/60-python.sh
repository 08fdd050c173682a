#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The Python package kelo: its pytest suite against emulator processes on
# 127.202.x.y, with Debian's interpreter (numpy, pytest) and the library of
# the native build (step 10). Discovery runs in step 30's namespace.
set -euo pipefail
build=${KELO_BUILD_DIR:-build}
for program in "$build/lib/libkelo_dll.so" "$build/bin/kelo-scanner-emulator"; do
    [ -e "$program" ] || { echo "missing $program (run 10-native.sh first)" >&2; exit 1; }
done
KELO_BUILD_DIR="$build" scripts/loopback-only.sh /usr/bin/python3 -m pytest -q -p no:cacheprovider python/tests
