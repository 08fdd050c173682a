#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The whole test suite again, built with AddressSanitizer and
# UndefinedBehaviorSanitizer: any memory error, leak or undefined behaviour
# in the library, the emulator or the tools fails the test that hit it.
set -euo pipefail
build=build-asan
jobs=$(nproc)
# -O1 keeps the instrumented build quick to compile and its stacks exact.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" \
    -DCMAKE_C_FLAGS_DEBUG="-g -O1" -DKELO_SANITIZE=address,undefined -DKELO_BUILD_BENCH=OFF \
    -DKELO_COVERAGE=ON >/dev/null
cmake --build "$build" -j"$jobs"
# The same run counts the lines it executes: step 80 reads the coverage of
# src/ from it instead of building the library a fourth time.
find "$build" -name '*.gcda' -delete
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
scripts/loopback-only.sh ctest --test-dir "$build" -j"$((jobs * 4))" --output-on-failure
