#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Runs a Windows program of the cross build under Wine, for CTest and the
# test scripts: wine-run.sh <build>/bin/program.exe [arguments...]
# The Wine prefix lives in the build directory (<build>/wineprefix) unless
# WINEPREFIX is set; it is created on first use, without a display and
# without the Mono and Gecko installers, so it works in CI.
set -euo pipefail

if [ $# -lt 1 ]; then
    echo "usage: $0 PROGRAM.exe [ARGUMENTS...]" >&2
    exit 2
fi

program_dir=$(cd "$(dirname "$1")" && pwd)
export WINEPREFIX="${WINEPREFIX:-$(dirname "$program_dir")/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
unset DISPLAY WAYLAND_DISPLAY

# wineboot -i returns once the prefix is set up; the marker says it did (the
# registry files only appear when the wineserver saves them).
ready="$WINEPREFIX/.kelo-prefix-ready"
if [ ! -f "$ready" ]; then
    mkdir -p "$WINEPREFIX"
    # Parallel test processes: one creates the prefix, the others wait.
    exec 9>"$WINEPREFIX.lock"
    flock 9
    if [ ! -f "$ready" ]; then
        if ! wineboot -i >/dev/null 2>&1; then
            echo "wine-run: could not create the Wine prefix $WINEPREFIX" >&2
            exit 1
        fi
        touch "$ready"
    fi
    flock -u 9
    exec 9>&-
fi

exec wine "$@"
