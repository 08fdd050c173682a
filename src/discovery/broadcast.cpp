// SPDX-License-Identifier: Apache-2.0
#include "discovery/broadcast.h"

#include <algorithm>
#include <new>

#include "core/socket_layer.h"
#include "core/wire.h"
#include "discovery/socket_errors.h"

namespace kelo::discovery {
namespace {

thread_local const BroadcastRoute* tRoute = nullptr;

constexpr std::uint32_t kLoopbackHost = 0x7F000001u;  // 127.0.0.1

}  // namespace

ScopedBroadcastRoute::ScopedBroadcastRoute(BroadcastRoute route)
    : route_(std::move(route)), previous_(tRoute) {
    tRoute = &route_;
}

ScopedBroadcastRoute::~ScopedBroadcastRoute() { tRoute = previous_; }

std::vector<std::uint32_t> listLocalAddresses() {
    try {
        std::vector<std::uint32_t> addresses =
            tRoute != nullptr ? tRoute->localAddresses : net::localIPv4Addresses();
        addresses.erase(std::remove(addresses.begin(), addresses.end(), wire::hostToNetwork(kLoopbackHost)),
                        addresses.end());
        return addresses;
    } catch (const std::bad_alloc&) {
        net::setLastError(kErrorNoBuffers);
        return {};
    }
}

int broadcastMessage(const std::uint8_t* message, std::size_t length) {
    // An empty list must not give -1 without a reason: the lookup may have
    // found nothing without failing.
    const int errorBefore = net::lastError();
    net::setLastError(0);
    const std::vector<std::uint32_t> addresses = listLocalAddresses();
    if (addresses.empty()) {
        if (net::lastError() == 0) net::setLastError(kErrorNetworkUnreachable);
        return -1;
    }
    net::setLastError(errorBefore);
    const std::uint32_t destination = tRoute != nullptr ? tRoute->destination : udp::kBroadcastAddress;
    const std::uint16_t port = tRoute != nullptr ? tRoute->port : udp::kDiscoveryPort;

    for (std::uint32_t address : addresses) {
        const net::Socket s = net::openUdpSocket();
        if (s == net::kInvalidSocket) return -1;
        bool sent = net::setBroadcast(s) == 0 && net::bindSocket(s, address, 0) == 0;
        if (sent) {
            const long count = net::sendTo(s, message, length, destination, port);
            if (count >= 0 && count != static_cast<long>(length)) net::setLastError(kErrorMessageSize);
            sent = count == static_cast<long>(length);
        }
        if (!sent) {
            closeKeepingError(s);
            return -1;
        }
        net::closeSocket(s);
    }
    return 0;
}

}  // namespace kelo::discovery
