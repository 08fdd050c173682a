#!/usr/bin/env bash
# Test share and line coverage of src/ from a coverage build: fails below
# the coverage floor, and above the test-share target only with
# KELO_ENFORCE_TEST_SHARE=1 (see scripts/test-share.sh).
set -euo pipefail
cd "$(dirname "$0")/../.."
# Step 40's sanitizer build counted the lines its suite ran.
export KELO_COVERAGE_FROM=${KELO_COVERAGE_FROM:-build-asan}
exec bash scripts/test-share.sh
