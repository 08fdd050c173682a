#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Discovery over real UDP broadcasts, run inside a network namespace of its
# own so that nothing reaches this machine's network: loopback, a veth pair
# with two addresses and a broadcast route, one emulator process answering
# discovery, a neighbour address that swallows every SYN (for connect
# time-outs), and the discovery tests of kelo_tests and of the C++ API (which
# refuse to broadcast anywhere else). Needs root, or unprivileged user namespaces;
# where neither is there it says so and passes, unless KELO_REQUIRE_NETNS=1.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${KELO_BUILD_DIR:-build}
addresses=10.77.0.1,10.77.0.2
external_serial=7007
external_address=127.0.0.1
# Frames to this address go to a link address nobody has: SYNs vanish.
silent=10.77.0.99
. scripts/netns.sh

if [ "${1:-}" != --inside ]; then
    for program in "$build/bin/kelo_tests" "$build/bin/kelo_cpp_api_tests" "$build/bin/kelo-scanner-emulator"; do
        [ -x "$program" ] || { echo "missing $program (run 10-native.sh first)" >&2; exit 1; }
    done
    # Without a namespace of our own nothing may be broadcast: the loopback
    # discovery tests of 10-native.sh still ran.
    kelo_netns_reenter "$0" "discovery broadcast tests" || exit 0
fi

IFS=, read -r -a list <<<"$addresses"
kelo_netns_link broadcast kelo-disc "${list[@]}"
ip neigh replace "$silent" lladdr 02:00:00:00:00:99 dev kelo-disc0 nud permanent 2>/dev/null || true
ip -brief addr

log=$(mktemp)
"$build/bin/kelo-scanner-emulator" --bind "$external_address" --serial "$external_serial" --discovery \
    --seconds 300 >"$log" 2>&1 &
emulator=$!
trap 'kill "$emulator" 2>/dev/null || true; wait "$emulator" 2>/dev/null || true; rm -f "$log"' EXIT
for _ in $(seq 50); do
    grep -q "answering discovery" "$log" && break
    kill -0 "$emulator" 2>/dev/null || { cat "$log" >&2; exit 1; }
    sleep 0.1
done
grep -q "answering discovery" "$log" || { cat "$log" >&2; echo "emulator did not start" >&2; exit 1; }

export KELO_DISCOVERY_NETNS_ADDRESSES=$addresses
export KELO_DISCOVERY_EXTERNAL_SERIAL=$external_serial
export KELO_DISCOVERY_EXTERNAL_ADDRESS=$external_address
export KELO_NETNS_SILENT_ADDRESS=$silent
"$build/bin/kelo_tests" --gtest_filter="${KELO_DISCOVERY_FILTER:-Discovery*}"
"$build/bin/kelo_cpp_api_tests" --gtest_filter="${KELO_CPP_DISCOVERY_FILTER:-CppDiscovery*}"
# The Python package's discovery and cable-id calls, in the same namespace
# (not against a sanitizer build, which Python cannot load).
[ "${KELO_DISCOVERY_PYTHON:-1}" = 1 ] || exit 0
KELO_BUILD_DIR="$build" /usr/bin/python3 -m pytest -q -p no:cacheprovider \
    python/tests/test_discovery.py
