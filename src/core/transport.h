/* SPDX-License-Identifier: Apache-2.0 */
// Blocking TCP primitives every command exchange is built from.
#pragma once

#include <cstdint>

#include "core/failure.h"
#include "core/socket_layer.h"

namespace kelo {

inline constexpr int kReceiveOk = 0;
inline constexpr int kReceiveFailed = -1;
inline constexpr int kReceiveTimedOut = -4;
inline constexpr std::int32_t kDefaultTimeoutMs = 5000;
inline constexpr std::int32_t kConnectTimeoutMs = 1000;

// A connected socket and where its exchanges note why they failed (a null
// failure notes nothing).
struct Link {
    net::Socket socket;
    Failure* failure = nullptr;
};

// Connect within timeoutMs; a connected blocking socket or
// net::kInvalidSocket. The attempt's socket is always closed on failure.
net::Socket connectAddress(std::uint32_t addressNetworkOrder, std::uint16_t port,
                           std::int32_t timeoutMs = kConnectTimeoutMs);
// A failed look-up leaves its own error as the thread's last socket error.
net::Socket connectHost(const char* host, std::uint16_t port,
                        std::int32_t timeoutMs = kConnectTimeoutMs);

// 0 when everything was handed to the socket, -1 on a send error.
int sendAll(Link link, const void* data, std::uint32_t length);

// Receives exactly length bytes into destination; the time-out bounds the
// silence before each piece. 0, -1 (error or peer closed) or -4 (time-out).
int receiveExact(Link link, void* destination, std::uint32_t length, std::int32_t timeoutMs);
int receiveExactDefault(Link link, void* destination, std::uint32_t length);
// Receives length bytes and drops them, a small piece at a time; results
// as receiveExact.
int discardExact(Link link, std::uint32_t length, std::int32_t timeoutMs);

// Waits until the socket is readable: 0, -1 (error, a negative time-out
// too) or -4 (time-out).
int waitReadable(Link link, std::int32_t timeoutMs);

// A receive or a drop of bytes a peek showed to be waiting (result of
// net::receiveAvailable or net::discardReceived) that gave nothing: notes
// the peer's close or the socket error and gives -1.
int noteReceiveFailure(Link link, long result);

template <typename CommandT>
int sendCommand(Link link, const CommandT& command) {
    return sendAll(link, command.data(), static_cast<std::uint32_t>(command.size()));
}

}  // namespace kelo
