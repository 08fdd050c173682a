#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# kelo view in headless Debian Chromium, driven by playwright-core from npm:
# a panel per scanner with its profiles, rate, height map, status and camera
# image; a scanner that went away is reported and recovers; a port in use
# is refused; the terminal says what happens to each connection; Ctrl-C
# leaves sync mode, for at most a second against a scanner that stopped
# answering. The screenshots stay in BUILD/viewer-test/. KELO_VIEWER_BUILD_DIR names another
# build directory than the native suite's.
set -euo pipefail
build=$(realpath "${KELO_VIEWER_BUILD_DIR:-build}")
cmake --build "$build" -j"$(nproc)" --target kelo kelo-scanner-emulator >/dev/null
cd tests/browser
[ -d node_modules/playwright-core ] || npm ci --no-audit --no-fund
timeout 300 node viewer_test.mjs "$build"
