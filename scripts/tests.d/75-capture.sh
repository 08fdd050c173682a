#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
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
. scripts/netns.sh
pytest=(/usr/bin/python3 -m pytest -q -p no:cacheprovider tests/capture)

if [ "${1:-}" != --inside ]; then
    for program in "$build/bin/kelo-scanner-emulator" "$build/bin/kelo_capture_client"; do
        [ -x "$program" ] || { echo "missing $program (run 10-native.sh first)" >&2; exit 1; }
    done
    for program in tshark dumpcap; do
        command -v "$program" >/dev/null || { echo "missing $program (scripts/packages.txt)" >&2; exit 1; }
    done
    kelo_netns_reenter "$0" "captured-session tests" || exec "${pytest[@]}"
fi

# Broadcasts are looped back to local sockets whatever the device does with them.
kelo_netns_link capture kelo-cap "$address"
export KELO_CAPTURE_NETNS_ADDRESS=$address
exec "${pytest[@]}" -rs
