#!/usr/bin/env bash
# The Wireshark dissector and the replay of captures (tests/capture): a full
# emulator session and a discovery captured, decoded with tshark and played
# back by kelo-scanner-emulator --replay, inside a network namespace of its
# own (loopback and a veth pair), so that the capture holds nothing else and
# no broadcast leaves it. Needs root, or unprivileged user namespaces; where
# neither is there the captured-session tests are skipped with a notice
# (the built lying-scanner capture is still decoded), unless
# KELO_REQUIRE_NETNS=1. KELO_BUILD_DIR picks the build (default build).
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${KELO_BUILD_DIR:-build}
address=10.78.0.1
export KELO_BUILD_DIR=$build
pytest=(/usr/bin/python3 -m pytest -q -p no:cacheprovider tests/capture)

if [ "${1:-}" != --inside ]; then
    for program in "$build/bin/kelo-scanner-emulator" "$build/bin/kelo_capture_client"; do
        [ -x "$program" ] || { echo "missing $program (run 10-native.sh first)" >&2; exit 1; }
    done
    for program in tshark dumpcap; do
        command -v "$program" >/dev/null || { echo "missing $program (scripts/packages.txt)" >&2; exit 1; }
    done
    KELO_HOST_NETNS=$(readlink /proc/self/ns/net)
    export KELO_HOST_NETNS
    unshare_options=(--net)
    [ "$(id -u)" = 0 ] || unshare_options=(--map-root-user --net)
    if ! unshare "${unshare_options[@]}" true 2>/dev/null; then
        echo "captured-session tests NOT RUN: cannot create a network namespace here" >&2
        [ "${KELO_REQUIRE_NETNS:-0}" = 1 ] && exit 1
        exec "${pytest[@]}"
    fi
    exec unshare "${unshare_options[@]}" bash "$0" --inside
fi

# From here on the shell is in the new namespace; make sure of it.
[ "$(readlink /proc/self/ns/net)" != "$KELO_HOST_NETNS" ] || {
    echo "not in a network namespace of our own; refusing to capture" >&2
    exit 1
}
ip link set lo up
# Broadcasts are looped back to local sockets whatever the device does with them.
if ! ip link add kelo-cap0 type veth peer name kelo-cap1 2>/dev/null; then
    ip link add kelo-cap0 type dummy
fi
ip addr add "$address/24" dev kelo-cap0
ip link set kelo-cap0 up
ip link show kelo-cap1 >/dev/null 2>&1 && ip link set kelo-cap1 up
ip route add 255.255.255.255 dev kelo-cap0
export KELO_CAPTURE_NETNS_ADDRESS=$address
exec "${pytest[@]}" -rs
