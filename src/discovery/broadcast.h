/* SPDX-License-Identifier: Apache-2.0 */
// Sending one UDP message from every local IPv4 address of the host.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "discovery/udp_message.h"

namespace kelo::discovery {

// The host's IPv4 addresses (network order) that messages go out from;
// 127.0.0.1 never counts. Empty when there are none or the lookup failed.
std::vector<std::uint32_t> listLocalAddresses();

// Sends the message once from each local address to 255.255.255.255:30127,
// one socket per address. 0 when every address sent; -1 at the first failed
// socket call (later addresses get nothing), its error left as the
// thread's last socket error.
int broadcastMessage(const std::uint8_t* message, std::size_t length);

// Where messages go: the local addresses and the destination. The default
// route is the real one; loopback tests install their own for the calling
// thread so that nothing is broadcast.
struct BroadcastRoute {
    std::vector<std::uint32_t> localAddresses;
    std::uint32_t destination = udp::kBroadcastAddress;
    std::uint16_t port = udp::kDiscoveryPort;
};

class ScopedBroadcastRoute {
public:
    explicit ScopedBroadcastRoute(BroadcastRoute route);
    ~ScopedBroadcastRoute();
    ScopedBroadcastRoute(const ScopedBroadcastRoute&) = delete;
    ScopedBroadcastRoute& operator=(const ScopedBroadcastRoute&) = delete;

private:
    BroadcastRoute route_;
    const BroadcastRoute* previous_;
};

}  // namespace kelo::discovery
