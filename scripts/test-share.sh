#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# How large the tests are beside the code, and how much of the library they
# run.
#
# 1. Test share: lines of tests over lines of code, blank and comment lines
#    left out. Code: src, include, tools, bench, fuzz, bindings and the
#    Python package; tests: tests/ and the Python tests (the full rule is in
#    scripts/source_lines.py). Target at most 35 %, enforced only with
#    KELO_ENFORCE_TEST_SHARE=1.
# 2. Line coverage of src/ from a coverage build (gcov; counters updated
#    atomically, since the tests run in parallel) over the CTest suite and
#    the discovery tests in their network namespace; gcovr sums it up.
#    Fails below 92 %. src/core/win32 is built for Windows only and is not
#    measured here; the command-line tests need the kelo tool, which this
#    build leaves out.
# KELO_COVERAGE_BUILD_DIR: the build directory (default build-cov);
# KELO_COVERAGE_FROM: a build that already ran the suite with coverage
# counting, used instead of a build of its own.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${KELO_COVERAGE_BUILD_DIR:-build-cov}
floor=92
jobs=$(nproc)

echo "-- test share"
share_options=()
[ "${KELO_ENFORCE_TEST_SHARE:-0}" = 1 ] && share_options+=(--enforce)
share_status=0
/usr/bin/python3 scripts/source_lines.py "${share_options[@]}" || share_status=$?

echo "-- line coverage of src/"
failed=()
if [ -n "${KELO_COVERAGE_FROM:-}" ]; then
    # A build that already ran the suite with coverage counting (step 40's
    # sanitizer build): add the namespace discovery tests to its counts.
    build=$KELO_COVERAGE_FROM
    [ -d "$build" ] || { echo "no build in $build" >&2; exit 1; }
else
    # -O1: about as quick to build as -O0, and quick enough at run time for
    # the tests that measure against the emulator's clock.
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" \
        -DKELO_COVERAGE=ON -DKELO_BUILD_BENCH=OFF >/dev/null
    cmake --build "$build" -j"$jobs" --target kelo_tests kelo-scanner-emulator kelo_dll
    echo "coverage build: ${SECONDS}s"
    find "$build" -name '*.gcda' -delete
    # Failing tests are reported by the suites' own steps; here they only
    # lower the figure. Only the GoogleTest cases (named Suite.Case) run:
    # other CTest tests, and the command-line ones, need programs this build
    # does not make.
    ctest --test-dir "$build" -j"$((jobs * 4))" -R '\.' -E '^KeloCliTest\.' \
        --repeat until-pass:2 --output-on-failure || failed+=(ctest)
fi
KELO_BUILD_DIR=$build KELO_DISCOVERY_FILTER='Discovery*-DiscoveryCli.*' KELO_DISCOVERY_PYTHON=0 \
    bash scripts/tests.d/30-discovery-netns.sh || failed+=(discovery-netns)
(( ${#failed[@]} == 0 )) || echo "note: failures in the coverage build: ${failed[*]}"
echo "coverage tests: ${SECONDS}s"

report=$build/coverage-src.txt
gcovr --root . --filter 'src/' -j "$jobs" --output "$report" --print-summary "$build" \
    | tee "$build/coverage-summary.txt"
cat "$report"
percent=$(sed -n 's/^lines: *\([0-9.]*\)%.*/\1/p' "$build/coverage-summary.txt")
[ -n "$percent" ] || { echo "no line coverage figure from gcovr" >&2; exit 1; }
echo "line coverage of src/: $percent % (floor $floor %); ${SECONDS}s in all"
if ! awk -v p="$percent" -v f="$floor" 'BEGIN { exit !(p >= f) }'; then
    echo "FAIL: line coverage of src/ is below $floor %"
    exit 1
fi
exit "$share_status"
