#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The C++ API's tests again under ThreadSanitizer: its streams hand batches
# and failures between threads, and a data race or a lock taken in the
# wrong order there fails the test that hit it.
set -euo pipefail
build=build-tsan
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" \
    -DCMAKE_C_FLAGS_DEBUG="-g -O1" -DKELO_SANITIZE=thread -DKELO_BUILD_BENCH=OFF \
    -DKELO_BUILD_EXAMPLES=OFF -DKELO_BUILD_TOOLS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target kelo_cpp_api_tests
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
scripts/loopback-only.sh "$build/bin/kelo_cpp_api_tests"
