#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The Windows DLLs as they ship (mingw-w64, posix threads, release builds;
# step 25 packs and checks them): build-win, 32-bit, and build-win64,
# 64-bit. Each has its export table checked, its load and its refusal of a
# Winsock other than 2.2 checked, and the whole test suite run under Wine.
# 64-bit programs run under wine64; 32-bit ones under native Wine where the
# kernel runs 32-bit code, else under Wine i386 in qemu-user
# (cmake/wine-run.sh; KELO_WIN32_RUNNER=qemu forces that route).
set -euo pipefail
jobs=$(nproc)

# Real broadcasts run only in the network namespace of the discovery suite;
# here the discovery tests use their loopback routes and the namespace tests
# skip themselves.
unset KELO_DISCOVERY_NETNS_ADDRESSES KELO_HOST_NETNS

servers=()
stop_servers() {
    for program in "${servers[@]}"; do ./cmake/wine-run.sh --stop "$program" || true; done
}
trap stop_servers EXIT

# windows_build BUILD_DIR TOOLCHAIN TOOL_PREFIX ROUTE
windows_build() {
    local build=$1 toolchain=$2 tools=$3 route=$4 start=$SECONDS
    cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release >/dev/null
    if [ "$route" = none ]; then
        echo "NOTICE: this machine runs no 32-bit Windows program (wine --version fails and" \
             "../shared/tools/win32-under-qemu is missing): the tests under Wine are left out;" \
             "export table and header checked" >&2
        cmake --build "$build" -j"$jobs" --target kelo_dll kelo kelo-scanner-emulator
        cmake -DOBJDUMP="$tools-objdump" -DDLL="$build/bin/kelo_dll.dll" \
              -DEXPECTED="$build/kelo_dll.exports" -P cmake/CheckExports.cmake
        cmake -DCC="$tools-gcc-posix" -DCXX="$tools-g++-posix" -DINCLUDE=include \
              -DPROBE=tests/header_standards.c -P cmake/CheckHeaderStandards.cmake
        cmake -DCOMPILERS="$tools-g++-posix" -DINCLUDE=include \
              -DPROBE=tests/cpp_api/header_probe.cpp -P cmake/CheckCppHeader.cmake
        return
    fi
    cmake --build "$build" -j"$jobs"
    echo "$build: built in $((SECONDS - start)) s"
    start=$SECONDS
    servers+=("$build/bin/kelo_tests.exe")
    # Sets up the Wine prefix and starts the server the tests share.
    ./cmake/wine-run.sh "$build/bin/kelo_tests.exe" --gtest_list_tests >/dev/null
    ctest --test-dir "$build" -j"$((jobs * 2))" --output-on-failure --timeout 300
    echo "$build: tests under $route in $((SECONDS - start)) s"
}

windows_build build-win cmake/mingw-i686.cmake i686-w64-mingw32 "$(./cmake/wine-run.sh --route32)"
windows_build build-win64 cmake/mingw-x86_64.cmake x86_64-w64-mingw32 wine64
