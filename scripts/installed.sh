# SPDX-License-Identifier: Apache-2.0
# Sourced by the test steps that use the native build as an application
# would: installed into a scratch prefix, with the installed emulator.

# Makes the scratch folder $work (removed on exit, with every emulator
# started here) and installs BUILD into $prefix below it.
kelo_install_scratch() {
    work=$(mktemp -d)
    prefix=$work/prefix
    kelo_emulators=()
    trap kelo_scratch_cleanup EXIT
    cmake --install "$1" --prefix "$prefix" >/dev/null
}

kelo_scratch_cleanup() {
    local pid
    for pid in "${kelo_emulators[@]}"; do
        kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    done
    rm -rf "$work"
}

# kelo_start_emulator LOG ADDRESS OPTIONS...: the installed emulator on
# ADDRESS, its output in $work/LOG; returns once it listens, or fails with
# its output shown when it does not start within 5 s.
kelo_start_emulator() {
    local log=$work/$1 address=$2
    shift 2
    "$prefix/bin/kelo-scanner-emulator" --bind "$address" --seconds 300 "$@" >"$log" 2>&1 &
    kelo_emulators+=($!)
    local pid=$! _
    for _ in $(seq 50); do
        grep -q "listening on" "$log" && return 0
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    cat "$log" >&2
    return 1
}
