#!/usr/bin/env bash
# Builds everything and runs every test suite: each scripts/tests.d/*.sh in
# order (native, Windows under Wine, discovery in a network namespace, ...).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
for step in scripts/tests.d/*.sh; do
    echo "== ${step##*/}"
    start=$SECONDS
    bash "$step"
    echo "== ${step##*/}: $((SECONDS - start)) s"
done
echo "all test suites passed"
