/* SPDX-License-Identifier: Apache-2.0 */
// Blocking TCP primitives every command exchange is built from.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/socket_layer.h"

namespace kelo {

inline constexpr int kReceiveOk = 0;
inline constexpr int kReceiveFailed = -1;
inline constexpr int kReceiveTimedOut = -4;
inline constexpr std::int32_t kDefaultTimeoutMs = 5000;
inline constexpr long kConnectTimeoutSeconds = 1;

// Connect with a 1-second time-out; a connected blocking socket or
// net::kInvalidSocket. The attempt's socket is always closed on failure.
net::Socket connectAddress(std::uint32_t addressNetworkOrder, std::uint16_t port);
net::Socket connectHost(const char* host, std::uint16_t port);

// 0 when everything was handed to the socket, -1 on a send error.
int sendAll(net::Socket s, const void* data, std::uint32_t length, int flags = 0);

// Receives exactly length bytes into destination; the time-out bounds the
// silence before each piece. 0, -1 (error or peer closed) or -4 (time-out).
int receiveExact(net::Socket s, void* destination, std::uint32_t length, int flags,
                 std::int32_t timeoutMs);
// Receives length bytes and drops them, a small piece at a time; results
// as receiveExact.
int discardExact(net::Socket s, std::uint32_t length, std::int32_t timeoutMs);

// Waits until the socket is readable: 0, -1 (error, a negative time-out
// too) or -4 (time-out).
int waitReadable(net::Socket s, std::int32_t timeoutMs);

int receiveExactDefault(net::Socket s, void* destination, std::uint32_t length, int flags = 0);

// Each string as a counted string: big-endian byte count, then the bytes.
// Send results are not checked.
void sendStringList(const std::vector<std::string>& strings, net::Socket s);

template <typename CommandT>
int sendCommand(net::Socket s, const CommandT& command) {
    return sendAll(s, command.data(), static_cast<std::uint32_t>(command.size()));
}

}  // namespace kelo
