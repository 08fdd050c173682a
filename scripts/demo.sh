#!/usr/bin/env bash
# Builds the library, starts the scanner emulator on a loopback address and
# runs the demo client against it.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target kelo-scanner-emulator kelo-demo

address=127.0.0.1
./build/bin/kelo-scanner-emulator --bind "$address" --seconds 60 &
emulator=$!
trap 'kill $emulator 2>/dev/null || true' EXIT
sleep 0.3
./build/bin/kelo-demo "$address"
