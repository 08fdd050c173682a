#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The programs of examples/, each built as a newcomer would build it (against
# the native build installed into a scratch prefix) and run against the
# installed emulator, inside a network namespace of its own (loopback and a
# veth pair) so that the examples that find scanners broadcast for real and
# nothing leaves it. Where no namespace can be made the examples are built
# and those that need no discovery run, unless KELO_REQUIRE_NETNS=1. Those
# that read batches also run against a scanner whose answers have the wrong
# type, and must fail saying so.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${KELO_BUILD_DIR:-build}
address=10.79.0.1
. scripts/netns.sh
. scripts/installed.sh

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

kelo_install_scratch "$build"
discovery_options=()
[ "$discovery" = 1 ] && discovery_options=(--discovery)
kelo_start_emulator emulator.log "$address" --serial 4711 "${discovery_options[@]}"
faulty=$address:24400
kelo_start_emulator faulty.log "$address" --port 24400 --fault wrong-type

# expect_failure NAME WORDS COMMAND...: COMMAND fails and its output has WORDS.
expect_failure() {
    local name=$1 words=$2
    shift 2
    if "$@" >"$work/$name.out" 2>&1; then
        echo "$name succeeded against a faulty scanner" >&2
        exit 1
    fi
    grep -qF "$words" "$work/$name.out" || { cat "$work/$name.out" >&2; exit 1; }
    echo "$name: $words"
}

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
expect_failure c-faulty "batch 1 failed (-1): an answer of another type" "$work/c/find_and_read" "$faulty"
"$work/c/parameters" "$address" | tee "$work/parameters.out"
grep -q "^accepted" "$work/parameters.out"
grep -q "ShutterSpeed" "$work/parameters.out"

echo "-- C++"
cmake -S examples/cpp -B "$work/cpp" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cpp" >/dev/null
"$work/cpp/kelo_stream_example" "$address" 2

echo "-- C#"
mcs -nologo -warnaserror -out:"$work/FindAndRead.exe" bindings/KeloDll.cs examples/csharp/FindAndRead.cs
csharp() { LD_LIBRARY_PATH="$prefix/lib" timeout 60 mono "$work/FindAndRead.exe" "$@"; }
csharp "$address" | tee "$work/cs.out"
grep -q "^batch 5: 100 profiles of 243 points" "$work/cs.out"
if [ "$discovery" = 1 ]; then
    csharp | tee "$work/cs-found.out"
    grep -q "^found scanner 4711 at $address" "$work/cs-found.out"
    grep -q "^batch 5: 100 profiles" "$work/cs-found.out"
fi
expect_failure cs-faulty "batch 1 failed (-1): an answer of another type (99)" csharp "$faulty"

echo "-- Python"
# Debian's python3 with the package of the prefix, run from the scratch
# folder so that the map is written there.
purelib=$(/usr/bin/python3 -c 'import sysconfig; print(sysconfig.get_path("purelib"))')
examples=$PWD/examples/python
python_example() {
    (cd "$work" && PYTHONPATH="$prefix/${purelib#/usr/local/}" timeout 60 /usr/bin/python3 "$examples/$1" "${@:2}")
}
python_example height_map.py "$address" map.png --profiles 500
/usr/bin/python3 tests/examples/check_height_map.py "$work/map.png" 243 500
expect_failure python-faulty "an answer of type 99" python_example height_map.py "$faulty" faulty.png
[ ! -e "$work/faulty.png" ] || { echo "height_map.py wrote a map from a faulty scanner" >&2; exit 1; }

echo "examples: all ran"
