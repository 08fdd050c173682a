#!/usr/bin/env bash
# The native build (step 10) installed into a scratch prefix and used from
# there only, as an application would: the C program of tests/consumer built
# once through find_package (its CMake project) and once through pkg-config,
# the C++ streaming example of examples/cpp (find_package), the installed
# kelo tool, and the installed Python package, each against
# the installed emulator on a loopback address of its own (127.203.x.1).
set -euo pipefail
build=${KELO_BUILD_DIR:-build}
work=$(mktemp -d)
emulator=
cleanup() {
    [ -n "$emulator" ] && kill "$emulator" 2>/dev/null && wait "$emulator" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

for attempt in 1 2 3 4 5; do
    address=127.203.$(( ($$ + attempt) % 250 + 1 )).1
    "$prefix/bin/kelo-scanner-emulator" --bind "$address" --seconds 300 >"$work/emulator.log" 2>&1 &
    emulator=$!
    for _ in $(seq 50); do
        grep -q "listening on" "$work/emulator.log" && break
        kill -0 "$emulator" 2>/dev/null || break
        sleep 0.1
    done
    grep -q "listening on" "$work/emulator.log" && break
    emulator=
done
[ -n "$emulator" ] || { cat "$work/emulator.log" >&2; echo "the emulator did not start" >&2; exit 1; }

echo "find_package:"
cmake -S tests/consumer -B "$work/cmake" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cmake" >/dev/null
"$work/cmake/kelo_consumer" "$address"

echo "pkg-config:"
export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
# shellcheck disable=SC2046
cc -std=c99 -Wall -Werror tests/consumer/consumer.c $(pkg-config --cflags --libs kelo_dll) \
    -Wl,-rpath,"$(pkg-config --variable=libdir kelo_dll)" -o "$work/kelo_consumer_pc"
"$work/kelo_consumer_pc" "$address"

echo "C++ example (find_package):"
cmake -S examples/cpp -B "$work/example" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/example" >/dev/null
"$work/example/kelo_stream_example" "$address" 2

echo "kelo tool:"
"$prefix/bin/kelo" status "$address" | tail -1

echo "Python:"
env -u KELO_DLL_PATH -u LD_LIBRARY_PATH PYTHONPATH="$prefix/lib/python3/dist-packages" \
    /usr/bin/python3 - "$prefix" "$address" <<'PYTHON'
import sys
import kelo
prefix, address = sys.argv[1:]
assert kelo.__file__.startswith(prefix) and kelo.library().path.startswith(prefix), kelo.library().path
with kelo.Scanner(address) as scanner, scanner.acquire(mode="time", batch=100) as stream:
    profiles = stream.read(500)
assert profiles["points"].shape == (500, 243, 3) and (profiles["point_count"] == 243).all()
print(f"kelo (python): {len(profiles)} profiles from {address} with {kelo.library().path}")
PYTHON
