#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The soak (bench/soak) under AddressSanitizer and UndefinedBehaviorSanitizer,
# built by step 40 (build-asan): eight emulated scanners failing in every way
# for KELO_SOAK_SECONDS (60) while one kelo::Stream per scanner collects and
# reconnects. It fails on a hang, a fault not reported with its code (or
# explained), a profile damaged or lost where no failure was, descriptors or
# threads that grew, or anything a sanitizer finds, in the soak or in an
# emulator, leaks included. Resident memory is printed, not checked: the
# sanitizer's allocator holds freed memory back in its quarantine (the
# normal build's soak checks it). Inside a network namespace where only
# loopback is up.
set -euo pipefail
build=build-asan
[ -x "$build/bin/soak" ] || { echo "missing $build/bin/soak (run 40-sanitizers.sh first)" >&2; exit 1; }
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# The build counts lines for step 80; this run's counts go elsewhere.
GCOV_PREFIX=$(mktemp -d)
export GCOV_PREFIX
trap 'rm -rf "$GCOV_PREFIX"' EXIT
scripts/loopback-only.sh "$build/bin/soak" --seconds "${KELO_SOAK_SECONDS:-60}" --rss-limit 0
