#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# libFuzzer targets (clang, AddressSanitizer + UndefinedBehaviorSanitizer):
# a short bounded run of every target over the corpus kept in fuzz/corpus.
# New inputs go to a scratch directory; set KELO_FUZZ_MERGE=1 to fold the
# interesting ones back into the kept corpus. KELO_FUZZ_SECONDS is the
# total time across all targets (default 84: 7 s for each of 12 targets);
# KELO_FUZZ_BUILD_DIR the build directory (default build-fuzz).
set -euo pipefail
build=${KELO_FUZZ_BUILD_DIR:-build-fuzz}
total=${KELO_FUZZ_SECONDS:-84}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
    -DKELO_BUILD_FUZZ=ON -DKELO_BUILD_TESTS=OFF -DKELO_BUILD_TOOLS=OFF \
    -DKELO_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target kelo_fuzz_targets

targets=()
for source in fuzz/*_fuzz.cpp; do
    name=${source##*/}
    targets+=("${name%.cpp}")
done
per_target=$(( total / ${#targets[@]} ))
(( per_target >= 1 )) || per_target=1

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failed=()
for target in "${targets[@]}"; do
    corpus=fuzz/corpus/$target
    mkdir -p "$corpus" "$scratch/$target"
    echo "-- $target: ${per_target}s"
    # -timeout bounds one input; inputs never wait on the network, so a
    # slow one is a hang in the library.
    if ! ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
        "./$build/bin/$target" -max_total_time="$per_target" -timeout=10 -rss_limit_mb=2048 \
        -max_len=16384 -print_final_stats=1 -artifact_prefix="$scratch/$target-" \
        "$scratch/$target" "$corpus" >"$scratch/$target.log" 2>&1; then
        tail -n 60 "$scratch/$target.log"
        for crash in "$scratch/$target-"*; do
            [ -e "$crash" ] && { echo "crashing input ($crash):"; od -A x -t x1z "$crash" | head -40; }
        done
        failed+=("$target")
        continue
    fi
    grep -E '^(stat::number_of_executed_units|stat::new_units_added)' "$scratch/$target.log" || true
    if [ "${KELO_FUZZ_MERGE:-0}" = 1 ]; then
        "./$build/bin/$target" -merge=1 -max_len=16384 "$corpus" "$scratch/$target" \
            >"$scratch/$target.merge.log" 2>&1
    fi
done
if (( ${#failed[@]} )); then
    echo "fuzz targets failed: ${failed[*]}"
    exit 1
fi
echo "fuzz: ${#targets[@]} targets ran clean"
