#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The main job: builds the library and tools, starts the scanner emulator on
# a loopback address, runs the demo client (a time-synchronised acquisition
# of profile batches) and the kelo tool against it. Output files go to out/.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target kelo-scanner-emulator kelo-demo kelo

address=127.0.0.1
mkdir -p out
./build/bin/kelo-scanner-emulator --bind "$address" --serial 1001 --seconds 120 &
emulator=$!
trap 'kill $emulator 2>/dev/null || true; wait $emulator 2>/dev/null || true' EXIT
for _ in $(seq 50); do
    ./build/bin/kelo status "$address" --max-key 0 >/dev/null 2>&1 && break
    sleep 0.1
done

echo "== kelo-demo $address"
./build/bin/kelo-demo "$address"
echo "== kelo status $address"
./build/bin/kelo status "$address"
echo "== kelo grab $address --count 2000 --mode time"
./build/bin/kelo grab "$address" --count 2000 --mode time --output out/profiles.csv --plot out/last-profile.svg
echo "== kelo image $address out/camera.pgm"
./build/bin/kelo image "$address" out/camera.pgm
echo "profiles in out/profiles.csv, the last one drawn in out/last-profile.svg, the camera image in out/camera.pgm"
