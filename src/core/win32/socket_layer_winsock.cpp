// SPDX-License-Identifier: Apache-2.0
// Winsock 2 behind the platform socket layer. Winsock already keeps a
// per-thread last error (WSAGetLastError), so the layer reads and sets that.
// As on POSIX, an operation changes the last error only when it fails:
// Winsock may clear it on success, so every operation puts back the value
// it found unless it failed.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <climits>
#include <cstring>

#include "core/socket_layer.h"

namespace kelo::net {
namespace {

// The handle stays a 32-bit value on the 32-bit DLL (SOCKET is UINT_PTR).
SOCKET sock(Socket s) { return static_cast<SOCKET>(s); }

// Keeps the caller's last error through an operation that succeeds.
class ErrorScope {
public:
    ErrorScope() : saved_(WSAGetLastError()) {}
    ~ErrorScope() {
        if (!failed_) WSASetLastError(saved_);
    }
    ErrorScope(const ErrorScope&) = delete;
    ErrorScope& operator=(const ErrorScope&) = delete;

    // Marks the operation failed: the error it left stays. Gives -1.
    int fail() {
        failed_ = true;
        return -1;
    }

private:
    int saved_;
    bool failed_ = false;
};

Socket toSocket(SOCKET s, ErrorScope& error) {
    if (s == INVALID_SOCKET) {
        error.fail();
        return kInvalidSocket;
    }
    return static_cast<Socket>(s);
}

// Winsock counts in int; larger blocks go in several calls.
int clampLength(std::size_t length) {
    return length > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(length);
}

sockaddr_in makeAddress(std::uint32_t addressNetworkOrder, std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = addressNetworkOrder;
    return address;
}

int setIntOption(Socket s, int level, int option, int value) {
    ErrorScope error;
    return setsockopt(sock(s), level, option, reinterpret_cast<const char*>(&value),
                      sizeof value) == 0
               ? 0
               : error.fail();
}

}  // namespace

bool startup() {
    WSADATA data{};
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
    if (LOBYTE(data.wVersion) != 2 || HIBYTE(data.wVersion) != 2) {
        WSACleanup();
        return false;
    }
    return true;
}

void cleanup() { WSACleanup(); }

Socket openTcpSocket() {
    ErrorScope error;
    return toSocket(socket(AF_INET, SOCK_STREAM, 0), error);
}
Socket openUdpSocket() {
    ErrorScope error;
    return toSocket(socket(AF_INET, SOCK_DGRAM, 0), error);
}

int closeSocket(Socket s) {
    ErrorScope error;
    return closesocket(sock(s)) == 0 ? 0 : error.fail();
}

int setNonBlocking(Socket s, bool nonBlocking) {
    ErrorScope error;
    u_long mode = nonBlocking ? 1 : 0;
    return ioctlsocket(sock(s), FIONBIO, &mode) == 0 ? 0 : error.fail();
}

int setNoDelay(Socket s) { return setIntOption(s, IPPROTO_TCP, TCP_NODELAY, 1); }
int setBroadcast(Socket s) { return setIntOption(s, SOL_SOCKET, SO_BROADCAST, 1); }
int setReuseAddress(Socket s) { return setIntOption(s, SOL_SOCKET, SO_REUSEADDR, 1); }

int shutdownSend(Socket s) {
    ErrorScope error;
    return shutdown(sock(s), SD_SEND) == 0 ? 0 : error.fail();
}

int connectSocket(Socket s, std::uint32_t addressNetworkOrder, std::uint16_t port) {
    ErrorScope error;
    sockaddr_in address = makeAddress(addressNetworkOrder, port);
    if (connect(sock(s), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return 0;
    return error.fail();
}

WaitResult waitSocket(Socket s, bool forRead, bool forWrite, long seconds, long microseconds) {
    ErrorScope error;
    if (seconds < 0 || microseconds < 0) {
        // What select gives for a negative time-out, the same under Wine.
        WaitResult refused;
        refused.ready = -1;
        error.fail();
        WSASetLastError(WSAEINVAL);
        return refused;
    }
    fd_set readSet, writeSet, errorSet;
    FD_ZERO(&readSet);
    FD_ZERO(&writeSet);
    FD_ZERO(&errorSet);
    if (forRead) FD_SET(sock(s), &readSet);
    if (forWrite) FD_SET(sock(s), &writeSet);
    FD_SET(sock(s), &errorSet);
    timeval timeout{};
    timeout.tv_sec = seconds;
    timeout.tv_usec = microseconds;

    WaitResult result;
    // The first argument is ignored by Winsock; given as the socket plus 1.
    result.ready = select(static_cast<int>(s) + 1, forRead ? &readSet : nullptr,
                          forWrite ? &writeSet : nullptr, &errorSet, &timeout);
    if (result.ready < 0) {
        error.fail();
        return result;
    }
    result.readable = forRead && FD_ISSET(sock(s), &readSet);
    result.writable = forWrite && FD_ISSET(sock(s), &writeSet);
    result.failed = FD_ISSET(sock(s), &errorSet);
    // A failed connect lands in the exception set; its reason is the
    // socket's pending error, which becomes the last error as on POSIX.
    if (result.failed) {
        int pending = 0;
        int size = sizeof pending;
        if (getsockopt(sock(s), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&pending), &size) ==
                0 &&
            pending != 0) {
            error.fail();
            WSASetLastError(pending);
        }
    }
    return result;
}

// The library's sockets are blocking, and a send behaves as a blocking one:
// it waits until some bytes fit and gives their count. It is carried out
// non-blocking with a wait in between, because a blocking send that is
// waiting for buffer space when the peer resets the connection may never
// return under Wine; here the wait sees the reset and the next send fails.
long sendBytes(Socket s, const void* data, std::size_t length) {
    ErrorScope error;
    const char* bytes = static_cast<const char*>(data);
    const int count = clampLength(length);
    u_long nonBlocking = 1;
    if (ioctlsocket(sock(s), FIONBIO, &nonBlocking) != 0) {
        const int sent = send(sock(s), bytes, count, 0);
        return sent == SOCKET_ERROR ? error.fail() : static_cast<long>(sent);
    }
    long result = -1;
    for (;;) {
        const int sent = send(sock(s), bytes, count, 0);
        if (sent != SOCKET_ERROR) {
            result = sent;
            break;
        }
        if (WSAGetLastError() != WSAEWOULDBLOCK) break;
        // No time-out: a blocking send waits as long as the peer lets it.
        fd_set writeSet, errorSet;
        FD_ZERO(&writeSet);
        FD_ZERO(&errorSet);
        FD_SET(sock(s), &writeSet);
        FD_SET(sock(s), &errorSet);
        if (select(static_cast<int>(s) + 1, nullptr, &writeSet, &errorSet, nullptr) < 0) break;
    }
    const int reason = WSAGetLastError();
    u_long blocking = 0;
    ioctlsocket(sock(s), FIONBIO, &blocking);
    if (result < 0) {
        error.fail();
        WSASetLastError(reason);
    }
    return result;
}

long receiveBytes(Socket s, void* data, std::size_t length) {
    ErrorScope error;
    int received = recv(sock(s), static_cast<char*>(data), clampLength(length), 0);
    return received == SOCKET_ERROR ? error.fail() : static_cast<long>(received);
}

// Winsock has no per-call non-blocking flag: a zero-time select tells
// whether recv can return at once. Once the socket is readable, recv does
// not block: it gives the bytes waiting, 0 for a peer that closed, or the
// error of a reset connection.
long receiveAvailable(Socket s, void* data, std::size_t length) {
    if (length == 0) return 0;
    const WaitResult wait = waitSocket(s, true, false, 0, 0);
    if (wait.ready < 0) return -1;
    if (!wait.readable) return kWouldBlockResult;
    return receiveBytes(s, data, length);
}

long peekAvailable(Socket s, void* data, std::size_t length) {
    if (length == 0) return 0;
    const WaitResult wait = waitSocket(s, true, false, 0, 0);
    if (wait.ready < 0) return -1;
    if (!wait.readable) return kWouldBlockResult;
    ErrorScope error;
    int received = recv(sock(s), static_cast<char*>(data), clampLength(length), MSG_PEEK);
    return received == SOCKET_ERROR ? error.fail() : static_cast<long>(received);
}

// Winsock has no receive that drops bytes; they are copied into scratch.
long discardReceived(Socket s, void* scratch, std::size_t length) {
    return receiveBytes(s, scratch, length);
}

long sendTo(Socket s, const void* data, std::size_t length, std::uint32_t addressNetworkOrder,
            std::uint16_t port) {
    ErrorScope error;
    sockaddr_in address = makeAddress(addressNetworkOrder, port);
    int sent = sendto(sock(s), static_cast<const char*>(data), clampLength(length), 0,
                      reinterpret_cast<sockaddr*>(&address), sizeof address);
    return sent == SOCKET_ERROR ? error.fail() : static_cast<long>(sent);
}

long receiveFrom(Socket s, void* data, std::size_t length, std::uint32_t* fromAddress,
                 std::uint16_t* fromPort) {
    ErrorScope error;
    sockaddr_in address{};
    int size = sizeof address;
    int received = recvfrom(sock(s), static_cast<char*>(data), clampLength(length), 0,
                            reinterpret_cast<sockaddr*>(&address), &size);
    // A datagram larger than the buffer is truncated; the caller reads the
    // part that fits, as on POSIX.
    if (received == SOCKET_ERROR) {
        if (WSAGetLastError() != WSAEMSGSIZE) return error.fail();
        received = clampLength(length);
    }
    if (fromAddress) *fromAddress = address.sin_addr.s_addr;
    if (fromPort) *fromPort = ntohs(address.sin_port);
    return static_cast<long>(received);
}

int bindSocket(Socket s, std::uint32_t addressNetworkOrder, std::uint16_t port) {
    ErrorScope error;
    sockaddr_in address = makeAddress(addressNetworkOrder, port);
    return bind(sock(s), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0
               ? 0
               : error.fail();
}

std::uint16_t boundPort(Socket s) {
    ErrorScope error;
    sockaddr_in address{};
    int size = sizeof address;
    if (getsockname(sock(s), reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        error.fail();
        return 0;
    }
    return ntohs(address.sin_port);
}

// gethostbyname keeps its result in per-thread storage, so this is safe on
// several threads at once; it accepts dotted addresses as well.
bool lookupHost(const char* name, std::uint32_t* addressNetworkOrder) {
    if (name == nullptr) return false;
    ErrorScope error;
    WSASetLastError(0);
    const hostent* found = gethostbyname(name);
    if (found == nullptr) {
        error.fail();
        // The look-up's own error, never one an earlier call left behind.
        if (WSAGetLastError() == 0) WSASetLastError(WSAHOST_NOT_FOUND);
        return false;
    }
    if (found->h_addrtype != AF_INET || found->h_length != 4 || found->h_addr_list == nullptr ||
        found->h_addr_list[0] == nullptr) {
        error.fail();
        WSASetLastError(WSANO_DATA);  // the name exists, without an IPv4 address
        return false;
    }
    std::memcpy(addressNetworkOrder, found->h_addr_list[0], 4);
    return true;
}

// The addresses the host's own name resolves to, in resolver order, without
// the loopback addresses (nothing is discovered through them).
std::vector<std::uint32_t> localIPv4Addresses() {
    ErrorScope error;
    std::vector<std::uint32_t> addresses;
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) {
        error.fail();
        return addresses;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    const int rc = getaddrinfo(name, nullptr, &hints, &found);
    if (rc != 0) {
        error.fail();
        WSASetLastError(rc);
        return addresses;
    }
    for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
        if (entry->ai_family != AF_INET || entry->ai_addrlen != sizeof(sockaddr_in)) continue;
        const std::uint32_t address =
            reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr.s_addr;
        if ((ntohl(address) >> 24) == 127) continue;
        addresses.push_back(address);
    }
    freeaddrinfo(found);
    return addresses;
}

bool parseDottedAddress(const char* text, std::uint32_t* addressNetworkOrder) {
    if (text == nullptr || *text == '\0') return false;
    ErrorScope error;
    const unsigned long parsed = inet_addr(text);
    // inet_addr gives INADDR_NONE both for bad text and for the broadcast
    // address itself; only the latter is an address.
    if (parsed == INADDR_NONE && std::strcmp(text, "255.255.255.255") != 0) return false;
    *addressNetworkOrder = static_cast<std::uint32_t>(parsed);
    return true;
}

int lastError() { return WSAGetLastError(); }
void setLastError(int error) { WSASetLastError(error); }

bool isConnectionLost(int error) {
    return error == WSAECONNRESET || error == WSAECONNABORTED || error == WSAESHUTDOWN ||
           error == WSAENETRESET;
}

void yieldProcessor() { Sleep(0); }

// SO_REUSEADDR would let a second listener share the port on Windows; an
// exclusive listener fails to bind instead, as a POSIX one does.
Socket listenTcp(std::uint32_t addressNetworkOrder, std::uint16_t port, int backlog) {
    Socket s = openTcpSocket();
    if (s == kInvalidSocket) return s;
    ErrorScope error;
    setIntOption(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, 1);
    if (bindSocket(s, addressNetworkOrder, port) != 0 || listen(sock(s), backlog) != 0) {
        error.fail();
        const int reason = WSAGetLastError();
        closesocket(sock(s));
        WSASetLastError(reason);
        return kInvalidSocket;
    }
    return s;
}

Socket acceptConnection(Socket listener) {
    ErrorScope error;
    return toSocket(accept(sock(listener), nullptr, nullptr), error);
}

void sleepMilliseconds(unsigned milliseconds) { Sleep(milliseconds); }

}  // namespace kelo::net
