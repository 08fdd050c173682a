# SPDX-License-Identifier: Apache-2.0
# Sourced by the test steps that need a network namespace of their own, so
# that what they broadcast or capture never touches this machine's network.

# Runs the calling script again inside a new network namespace, with
# --inside as its first argument. Where no namespace can be made it says
# that WHAT is not run and returns 1 (the caller decides what still runs),
# or exits 1 when KELO_REQUIRE_NETNS=1.
kelo_netns_reenter() {
    local script=$1 what=$2
    KELO_HOST_NETNS=$(readlink /proc/self/ns/net)
    export KELO_HOST_NETNS
    local unshare_options=(--net)
    [ "$(id -u)" = 0 ] || unshare_options=(--map-root-user --net)
    if ! unshare "${unshare_options[@]}" true 2>/dev/null; then
        echo "$what NOT RUN: cannot create a network namespace here" >&2
        [ "${KELO_REQUIRE_NETNS:-0}" = 1 ] && exit 1
        return 1
    fi
    exec unshare "${unshare_options[@]}" bash "$script" --inside
}

# Inside: refuses to go on (ACTION says what) unless the shell really is in
# a namespace other than the host's; then brings up loopback and DEVICE (a
# veth pair, or a dummy link where veth is missing) with the given /24
# addresses and a route for broadcasts.
kelo_netns_link() {
    local action=$1 device=$2
    shift 2
    [ "$(readlink /proc/self/ns/net)" != "$KELO_HOST_NETNS" ] || {
        echo "not in a network namespace of our own; refusing to $action" >&2
        exit 1
    }
    ip link set lo up
    if ! ip link add "${device}0" type veth peer name "${device}1" 2>/dev/null; then
        ip link add "${device}0" type dummy
    fi
    local address
    for address in "$@"; do
        ip addr add "$address/24" dev "${device}0"
    done
    ip link set "${device}0" up
    ip link show "${device}1" >/dev/null 2>&1 && ip link set "${device}1" up
    ip route add 255.255.255.255 dev "${device}0"
}
