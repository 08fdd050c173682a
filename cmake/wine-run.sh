#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Runs a Windows program of a cross build, for CTest and the test scripts:
#   wine-run.sh <build>/bin/program.exe [arguments...]
#   wine-run.sh --route32    prints how 32-bit programs run here: wine, qemu or none
#   wine-run.sh --stop PROGRAM.exe   stops the Wine server kept up for that build
#
# 64-bit programs run under Debian's wine64. 32-bit programs run under
# native Wine where the kernel runs 32-bit code (wine --version works),
# else under Wine i386 in qemu-user through ../shared/tools/win32-under-qemu
# (relative to the repository). KELO_WIN32_RUNNER=wine or =qemu forces one.
# The Wine prefix lives in the build directory (<build>/wineprefix, or
# <build>/wine-qemu for the qemu route) unless WINEPREFIX (W32_HOME) is set;
# it is created on first use, without a display and without the Mono and
# Gecko installers, so it works in CI.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
qemu_runner="$root/../shared/tools/win32-under-qemu/run-win32.sh"
wine64=/usr/lib/wine/wine64

route32() {
    case "${KELO_WIN32_RUNNER:-}" in
        wine) echo wine; return ;;
        qemu)
            [ -x "$qemu_runner" ] || { echo "wine-run: KELO_WIN32_RUNNER=qemu, but $qemu_runner is missing" >&2; exit 2; }
            echo qemu; return ;;
        "") ;;
        *) echo "wine-run: KELO_WIN32_RUNNER must be wine or qemu" >&2; exit 2 ;;
    esac
    if wine --version >/dev/null 2>&1; then echo wine
    elif [ -x "$qemu_runner" ]; then echo qemu
    else echo none
    fi
}

# The machine field of the PE header: 8664 for x86-64, 014c for i386.
pe_machine() {
    local offset
    offset=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
    od -An -tx2 -j$((offset + 4)) -N2 "$1" | tr -d ' '
}

case "${1:-}" in
    --route32) route32; exit 0 ;;
    --stop|"") ;;
    -*) echo "wine-run: unknown option $1" >&2; exit 2 ;;
esac
stop=false
if [ "${1:-}" = --stop ]; then stop=true; shift; fi
if [ $# -lt 1 ]; then
    echo "usage: $0 [--stop] PROGRAM.exe [ARGUMENTS...] | --route32" >&2
    exit 2
fi

program_dir=$(cd "$(dirname "$1")" && pwd)
build_dir=$(dirname "$program_dir")
export WINEDEBUG="${WINEDEBUG:--all}"
unset DISPLAY WAYLAND_DISPLAY

if [ "$(pe_machine "$1")" = 8664 ]; then
    loader=$wine64
    export WINEARCH=win64 WINELOADER=$wine64
    server=/usr/lib/wine/wineserver64
else
    route=$(route32)
    if [ "$route" = qemu ]; then
        # Its own prefix, server and namespace; WINEDLLOVERRIDES is passed on.
        export W32_HOME="${W32_HOME:-$build_dir/wine-qemu}"
        if $stop; then exec "$qemu_runner" --stop; fi
        exec "$qemu_runner" "$@"
    fi
    if [ "$route" = none ]; then
        echo "wine-run: this machine runs no 32-bit Windows program (no 32-bit Wine, no $qemu_runner)" >&2
        exit 1
    fi
    loader=wine
    server=wineserver
fi

export WINEPREFIX="${WINEPREFIX:-$build_dir/wineprefix}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
if $stop; then
    "$server" -k 2>/dev/null || true
    exit 0
fi

# wineboot -i returns once the prefix is set up; the marker says it did (the
# registry files only appear when the wineserver saves them).
ready="$WINEPREFIX/.kelo-prefix-ready"
if [ ! -f "$ready" ]; then
    mkdir -p "$WINEPREFIX"
    # Parallel test processes: one creates the prefix, the others wait.
    exec 9>"$WINEPREFIX.lock"
    flock 9
    if [ ! -f "$ready" ]; then
        if ! WINEDLLOVERRIDES="mscoree,mshtml=" "$loader" wineboot -i >/dev/null 2>&1; then
            echo "wine-run: could not create the Wine prefix $WINEPREFIX" >&2
            exit 1
        fi
        touch "$ready"
    fi
    flock -u 9
    exec 9>&-
fi
# One server kept up between programs, so parallel test processes do not
# each pay Wine's start-up; it leaves by itself 30 s after the last one.
"$server" -p30 2>/dev/null || true

exec "$loader" "$@"
