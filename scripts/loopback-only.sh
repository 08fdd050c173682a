#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Runs a command inside a network namespace of its own in which only
# loopback is up, so that nothing a test does can reach another host (a
# name look-up included). Where no namespace can be made it says so and
# runs the command as it is, unless KELO_REQUIRE_NETNS=1.
#   scripts/loopback-only.sh COMMAND [ARGUMENTS...]
set -euo pipefail
if [ "${1:-}" = --inside ]; then
    shift
    ip link set lo up
    exec "$@"
fi
unshare_options=(--net)
[ "$(id -u)" = 0 ] || unshare_options=(--map-root-user --net)
if ! unshare "${unshare_options[@]}" true 2>/dev/null; then
    echo "NOTICE: cannot create a network namespace here; running without one: $*" >&2
    [ "${KELO_REQUIRE_NETNS:-0}" = 1 ] && exit 1
    exec "$@"
fi
exec unshare "${unshare_options[@]}" "$0" --inside "$@"
