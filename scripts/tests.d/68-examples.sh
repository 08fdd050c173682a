#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The programs of examples/, each built as a newcomer would build it (against
# the native build installed into a scratch prefix) and run against the
# installed emulator, inside a network namespace of its own (loopback and a
# veth pair) so that the examples that find scanners broadcast for real and
# nothing leaves it. Where no namespace can be made the examples are built
# and those that need no discovery run, unless KELO_REQUIRE_NETNS=1.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${KELO_BUILD_DIR:-build}
address=10.79.0.1
. scripts/netns.sh

discovery=1
if [ "${1:-}" != --inside ]; then
    [ -x "$build/bin/kelo-scanner-emulator" ] || { echo "missing the native build (run 10-native.sh first)" >&2; exit 1; }
    kelo_netns_reenter "$0" "the examples' discovery" || discovery=0
fi
if [ "$discovery" = 1 ]; then
    kelo_netns_link examples kelo-ex "$address"
else
    address=127.204.$(( $$ % 250 + 1 )).1
fi

work=$(mktemp -d)
emulator=
cleanup() {
    [ -n "$emulator" ] && kill "$emulator" 2>/dev/null && wait "$emulator" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

discovery_options=()
[ "$discovery" = 1 ] && discovery_options=(--discovery)
"$prefix/bin/kelo-scanner-emulator" --bind "$address" --serial 4711 "${discovery_options[@]}" --seconds 300 \
    >"$work/emulator.log" 2>&1 &
emulator=$!
for _ in $(seq 50); do
    grep -q "listening on" "$work/emulator.log" && break
    sleep 0.1
done
grep -q "listening on" "$work/emulator.log" || { cat "$work/emulator.log" >&2; exit 1; }

echo "-- C"
cmake -S examples/c -B "$work/c" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_C_FLAGS="-Wall -Wextra -Werror" >/dev/null
cmake --build "$work/c" >/dev/null
"$work/c/find_and_read" "$address" | tee "$work/c.out"
grep -q "^batch 5: 100 profiles" "$work/c.out"
if [ "$discovery" = 1 ]; then
    "$work/c/find_and_read" | tee "$work/c-found.out"
    grep -q "^found scanner 4711 at $address" "$work/c-found.out"
    grep -q "^batch 5: 100 profiles" "$work/c-found.out"
fi
"$work/c/parameters" "$address" | tee "$work/parameters.out"
grep -q "^accepted" "$work/parameters.out"
grep -q "ShutterSpeed" "$work/parameters.out"
echo "-- C++"
cmake -S examples/cpp -B "$work/cpp" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cpp" >/dev/null
"$work/cpp/kelo_stream_example" "$address" 2

echo "examples: all ran"
