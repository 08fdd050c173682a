#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Linux on other processors: release cross builds for arm64, armhf (32-bit)
# and s390x (big-endian) with Debian's cross compilers, the GoogleTest suite
# of each under qemu user-mode emulation against its in-process emulators on
# loopback, and the Debian packages of arm64 and armhf checked as step 62
# checks the native ones. Only what the step runs is built.
set -euo pipefail
jobs=$(nproc)
# Real broadcasts run only in step 30's namespace; these tests skip there.
unset KELO_DISCOVERY_NETNS_ADDRESSES KELO_HOST_NETNS

# Debian architecture, toolchain, whether its packages are made
ports=("arm64 aarch64 packages" "armhf armhf packages" "s390x s390x -")
for port in "${ports[@]}"; do
    read -r arch toolchain packages <<<"$port"
    build=build-$arch
    start=$SECONDS
    cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="cmake/linux-$toolchain.cmake" \
          -DCMAKE_BUILD_TYPE=Release -DKELO_BUILD_BENCH=OFF -DKELO_BUILD_SOAK=OFF -DKELO_BUILD_DOCS=OFF >/dev/null
    if [ "$packages" = packages ]; then
        cmake --build "$build" -j"$jobs"
    else
        cmake --build "$build" -j"$jobs" --target kelo_tests kelo_cpp_api_tests kelo kelo_c_header_check
    fi
    ctest --test-dir "$build" -j"$((jobs * 4))" --output-on-failure
    if [ "$packages" = packages ]; then
        KELO_BUILD_DIR="$build" KELO_DEB_ARCH="$arch" bash scripts/tests.d/62-debian-packages.sh
    fi
    echo "$arch: $((SECONDS - start)) s"
done
echo "35-linux-ports: ${SECONDS} s"
