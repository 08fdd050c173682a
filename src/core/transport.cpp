// SPDX-License-Identifier: Apache-2.0
#include "core/transport.h"

namespace kelo {

net::Socket connectAddress(std::uint32_t addressNetworkOrder, std::uint16_t port,
                           std::int32_t timeoutMs) {
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
        net::WaitResult wait = net::waitSocket(s, true, true, timeoutMs / 1000, (timeoutMs % 1000) * 1000L);
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

net::Socket connectHost(const char* host, std::uint16_t port, std::int32_t timeoutMs) {
    std::uint32_t address = 0;
    if (host == nullptr || !net::lookupHost(host, &address)) return net::kInvalidSocket;
    return connectAddress(address, port, timeoutMs);
}

namespace {

int noteSocketFailure(Link link) {
    noteFailure(link.failure,
                net::isConnectionLost(net::lastError()) ? KELO_FAILURE_CLOSED : KELO_FAILURE_SOCKET);
    return kReceiveFailed;
}

}  // namespace

int noteReceiveFailure(Link link, long result) {
    if (result == 0) {
        noteFailure(link.failure, KELO_FAILURE_CLOSED);
        return kReceiveFailed;
    }
    return noteSocketFailure(link);
}

int sendAll(Link link, const void* data, std::uint32_t length) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::uint32_t sent = 0;
    while (sent < length) {
        long result = net::sendBytes(link.socket, bytes + sent, length - sent);
        if (result < 0) return noteSocketFailure(link);
        sent += static_cast<std::uint32_t>(result);
    }
    return 0;
}

int waitReadable(Link link, std::int32_t timeoutMs) {
    if (timeoutMs < 0) {
        noteFailure(link.failure, KELO_FAILURE_REFUSED);
        return kReceiveFailed;
    }
    const net::WaitResult wait =
        net::waitSocket(link.socket, true, false, timeoutMs / 1000, (timeoutMs % 1000) * 1000L);
    if (wait.ready == 0) {
        noteFailure(link.failure, KELO_FAILURE_TIMEOUT);
        return kReceiveTimedOut;
    }
    if (wait.ready < 0 || !wait.readable) return noteSocketFailure(link);
    return kReceiveOk;
}

int receiveExact(Link link, void* destination, std::uint32_t length, std::int32_t timeoutMs) {
    auto* bytes = static_cast<std::uint8_t*>(destination);
    // The wait refuses a negative time-out, even when data is waiting.
    if (length > 0 && timeoutMs < 0) return waitReadable(link, timeoutMs);
    std::uint32_t received = 0;
    while (received < length) {
        // Data already waiting is taken at once; the wait (and with it the
        // per-piece time-out) only starts when the socket has nothing.
        long result = net::receiveAvailable(link.socket, bytes + received, length - received);
        if (result == net::kWouldBlockResult) {
            const int waited = waitReadable(link, timeoutMs);
            if (waited != kReceiveOk) return waited;
            result = net::receiveBytes(link.socket, bytes + received, length - received);
        }
        if (result <= 0) return noteReceiveFailure(link, result);
        received += static_cast<std::uint32_t>(result);
    }
    return kReceiveOk;
}

int receiveExactDefault(Link link, void* destination, std::uint32_t length) {
    return receiveExact(link, destination, length, kDefaultTimeoutMs);
}

int discardExact(Link link, std::uint32_t length, std::int32_t timeoutMs) {
    std::uint8_t scratch[1024];
    while (length > 0) {
        const std::uint32_t piece = length < sizeof scratch ? length : std::uint32_t(sizeof scratch);
        const int result = receiveExact(link, scratch, piece, timeoutMs);
        if (result != kReceiveOk) return result;
        length -= piece;
    }
    return kReceiveOk;
}

}  // namespace kelo
