/* SPDX-License-Identifier: Apache-2.0 */
// Socket error values the discovery code reports itself, and closing a
// socket without losing the error that made the call give up.
#pragma once

#include "core/socket_layer.h"

namespace kelo::discovery {

inline constexpr int kErrorInvalidArgument = net::kErrorInvalidArgument;  // 22
inline constexpr int kErrorMessageSize = 10040;         // WSAEMSGSIZE: a datagram sent short
inline constexpr int kErrorNetworkUnreachable = 10051;  // WSAENETUNREACH: no local address
inline constexpr int kErrorNoBuffers = net::kErrorNoBuffers;

inline void closeKeepingError(net::Socket s) {
    const int error = net::lastError();
    net::closeSocket(s);
    net::setLastError(error);
}

}  // namespace kelo::discovery
