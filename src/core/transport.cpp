// SPDX-License-Identifier: Apache-2.0
#include "core/transport.h"

#include "core/wire.h"

namespace kelo {

net::Socket connectAddress(std::uint32_t addressNetworkOrder, std::uint16_t port) {
    net::Socket s = net::openTcpSocket();
    if (s == net::kInvalidSocket) return s;
    if (net::setNonBlocking(s, true) != 0) {
        net::closeSocket(s);
        return net::kInvalidSocket;
    }
    net::setLastError(0);
    if (net::connectSocket(s, addressNetworkOrder, port) != 0) {
        int error = net::lastError();
        if (error != net::kErrorWouldBlock) {
            // Keep the connect's own error visible to the caller.
            net::closeSocket(s);
            net::setLastError(error);
            return net::kInvalidSocket;
        }
        net::setLastError(0);
        net::WaitResult wait = net::waitSocket(s, true, true, kConnectTimeoutSeconds, 0);
        if (wait.ready < 1 || wait.failed || !wait.writable) {
            net::closeSocket(s);
            return net::kInvalidSocket;
        }
    }
    if (net::setNonBlocking(s, false) != 0) {
        net::closeSocket(s);
        return net::kInvalidSocket;
    }
    return s;
}

net::Socket connectHost(const char* host, std::uint16_t port) {
    std::uint32_t address = 0;
    if (host == nullptr || !net::lookupHost(host, &address)) return net::kInvalidSocket;
    return connectAddress(address, port);
}

int sendAll(net::Socket s, const void* data, std::uint32_t length, int /*flags*/) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::uint32_t sent = 0;
    while (sent < length) {
        long result = net::sendBytes(s, bytes + sent, length - sent);
        if (result < 0) return -1;
        sent += static_cast<std::uint32_t>(result);
    }
    return 0;
}

int waitReadable(net::Socket s, std::int32_t timeoutMs) {
    if (timeoutMs < 0) return kReceiveFailed;
    const net::WaitResult wait = net::waitSocket(s, true, false, timeoutMs / 1000, (timeoutMs % 1000) * 1000L);
    if (wait.ready < 0) return kReceiveFailed;
    if (wait.ready == 0) return kReceiveTimedOut;
    return wait.readable ? kReceiveOk : kReceiveFailed;
}

int receiveExact(net::Socket s, void* destination, std::uint32_t length, int /*flags*/,
                 std::int32_t timeoutMs) {
    auto* bytes = static_cast<std::uint8_t*>(destination);
    // The wait refuses a negative time-out, even when data is waiting.
    if (length > 0 && timeoutMs < 0) return kReceiveFailed;
    std::uint32_t received = 0;
    while (received < length) {
        // Data already waiting is taken at once; the wait (and with it the
        // per-piece time-out) only starts when the socket has nothing.
        long result = net::receiveAvailable(s, bytes + received, length - received);
        if (result == net::kWouldBlockResult) {
            const int waited = waitReadable(s, timeoutMs);
            if (waited != kReceiveOk) return waited;
            result = net::receiveBytes(s, bytes + received, length - received);
        }
        if (result <= 0) return kReceiveFailed;
        received += static_cast<std::uint32_t>(result);
    }
    return kReceiveOk;
}

int discardExact(net::Socket s, std::uint32_t length, std::int32_t timeoutMs) {
    std::uint8_t scratch[1024];
    while (length > 0) {
        const std::uint32_t piece = length < sizeof scratch ? length : std::uint32_t(sizeof scratch);
        const int result = receiveExact(s, scratch, piece, 0, timeoutMs);
        if (result != kReceiveOk) return result;
        length -= piece;
    }
    return kReceiveOk;
}

int receiveExactDefault(net::Socket s, void* destination, std::uint32_t length, int flags) {
    return receiveExact(s, destination, length, flags, kDefaultTimeoutMs);
}

void sendStringList(const std::vector<std::string>& strings, net::Socket s) {
    for (const std::string& text : strings) {
        std::uint8_t count[wire::kWordSize];
        wire::putWord(count, static_cast<std::uint32_t>(text.size()));
        sendAll(s, count, sizeof count);
        sendAll(s, text.data(), static_cast<std::uint32_t>(text.size()));
    }
}

}  // namespace kelo
