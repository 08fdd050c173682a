#!/usr/bin/env bash
# 32-bit Windows build (mingw-w64 i686, posix threads), a release build as
# it ships (step 25 packs and checks it): kelo_dll.dll with its export table
# checked, and the same test program run under Wine.
set -euo pipefail
jobs=$(nproc)
build=build-win
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
# Wine runs 32-bit programs only where the kernel lets 32-bit code run; on a
# machine without that, what ships is built and the checks that need no
# Windows program run.
if ! wine --version >/dev/null 2>&1; then
    echo "NOTICE: this machine cannot run 32-bit programs (wine --version fails):" \
         "the tests under Wine are left out; export table and header checked" >&2
    cmake --build "$build" -j"$jobs" --target kelo_dll kelo kelo-scanner-emulator
    cmake -DOBJDUMP=i686-w64-mingw32-objdump -DDLL="$build/bin/kelo_dll.dll" \
          -DEXPECTED="$build/kelo_dll.exports" -P cmake/CheckExports.cmake
    cmake -DCC=i686-w64-mingw32-gcc-posix -DCXX=i686-w64-mingw32-g++-posix -DINCLUDE=include \
          -DPROBE=tests/header_standards.c -P cmake/CheckHeaderStandards.cmake
    cmake -DCOMPILERS=i686-w64-mingw32-g++-posix -DINCLUDE=include \
          -DPROBE=tests/cpp_api/header_probe.cpp -P cmake/CheckCppHeader.cmake
    exit 0
fi
cmake --build "$build" -j"$jobs"

# One Wine prefix in the build directory, one wineserver kept up for the
# whole run, so parallel test processes do not each pay Wine's start-up.
export WINEPREFIX="$PWD/$build/wineprefix"
export WINEDEBUG=-all
mkdir -p "$WINEPREFIX"
wineserver -p 30 || true
trap 'wineserver -k 2>/dev/null || true' EXIT
./cmake/wine-run.sh "$build/bin/kelo_tests.exe" --gtest_list_tests >/dev/null

# Real broadcasts run only in the network namespace of the discovery suite;
# here the discovery tests use their loopback routes and the namespace tests
# skip themselves.
unset KELO_DISCOVERY_NETNS_ADDRESSES KELO_HOST_NETNS
# Wine sends UDP from 127.0.0.1 whatever loopback address a socket is bound
# to, and binds addresses the host does not have; Windows does neither. The
# tests that look at a datagram's source address or at a refused bind run in
# the native suite only.
wine_udp_source='^DiscoveryTest\.(EveryCallSendsItsMessageFromEachLocalAddress|AddressFormsTellWhereEachReplyCameFrom|RefusedCallsWriteNothing)$'
# Wine also lets UDP sockets of different loopback addresses on one port see
# each other's datagrams, so the discovery tests run one at a time, after
# the rest has run in parallel.
ctest --test-dir "$build" -j"$((jobs * 2))" --output-on-failure --timeout 120 \
      -E "$wine_udp_source|^Discovery"
ctest --test-dir "$build" -j1 --output-on-failure --timeout 120 \
      -R '^Discovery' -E "$wine_udp_source"
