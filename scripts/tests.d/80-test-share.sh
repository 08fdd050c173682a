#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Test share and line coverage of src/ from a coverage build: fails below
# the coverage floor and above the test-share target (see
# scripts/test-share.sh; KELO_ENFORCE_TEST_SHARE=0 only reports the share).
set -euo pipefail
cd "$(dirname "$0")/../.."
# Step 40's sanitizer build counted the lines its suite ran.
export KELO_COVERAGE_FROM=${KELO_COVERAGE_FROM:-build-asan}
export KELO_ENFORCE_TEST_SHARE=${KELO_ENFORCE_TEST_SHARE:-1}
exec bash scripts/test-share.sh
