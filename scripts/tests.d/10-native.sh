#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Native Linux build of the library, tools and tests; the CTest suite, in a
# network namespace where only loopback is up.
set -euo pipefail
jobs=$(nproc)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
scripts/loopback-only.sh ctest --test-dir build -j"$((jobs * 4))" --output-on-failure
