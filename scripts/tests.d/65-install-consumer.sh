#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The native build (step 10) installed into a scratch prefix and used from
# there only, as an application would: the C program of tests/consumer built
# once through find_package (its CMake project) and once through pkg-config,
# the installed kelo tool, and the installed Python package (with Debian's python3, and
# installed by pip into a clean virtual environment), each against the
# installed emulator on a loopback address of its own (127.203.x.1).
set -euo pipefail
build=${KELO_BUILD_DIR:-build}
cd "$(dirname "$0")/../.."
. scripts/installed.sh
kelo_install_scratch "$build"
# An address of its own; another may be in use by a test run in parallel.
started=0
for attempt in 1 2 3 4 5; do
    address=127.203.$(( ($$ + attempt) % 250 + 1 )).1
    kelo_start_emulator emulator.log "$address" && { started=1; break; }
done
[ "$started" = 1 ] || { echo "the emulator did not start" >&2; exit 1; }

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

echo "kelo tool:"
"$prefix/bin/kelo" status "$address" | tail -1

echo "Python:"
# Installed with the default prefix, the package lands where Debian's python3 looks.
DESTDIR="$work/default" cmake --install "$build" --prefix /usr/local --component python >/dev/null
purelib=$(/usr/bin/python3 -c 'import sysconfig; print(sysconfig.get_path("purelib"))')
[ -f "$work/default$purelib/kelo/__init__.py" ] || { echo "no kelo in $purelib below the default prefix" >&2; exit 1; }
# pip into a clean virtual environment, offline, from a copy of the sources.
mkdir "$work/source" && cp -r python include LICENSE "$work/source/"
/usr/bin/python3 -m venv --system-site-packages "$work/venv"
"$work/venv/bin/pip" install -q --no-build-isolation --no-index "$work/source/python"
KELO_TEST_PREFIX=$prefix KELO_TEST_PURELIB=$prefix/${purelib#/usr/local/} KELO_TEST_VENV=$work/venv \
    KELO_TEST_ADDRESS=$address /usr/bin/python3 -m pytest -q -p no:cacheprovider tests/consumer/test_python_package.py
