// SPDX-License-Identifier: Apache-2.0
// POSIX sockets behind the platform socket layer. errno is copied into a
// per-thread last error so callers see the Winsock-style error model.
#include "core/socket_layer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <sched.h>
#include <time.h>
#include <unistd.h>

#include <climits>
#include <cstring>

namespace kelo::net {
namespace {

thread_local int tLastError = 0;

int translate(int err) {
    if (err == EINPROGRESS || err == EAGAIN || err == EWOULDBLOCK) return kErrorWouldBlock;
    return err;
}

int fail() {
    tLastError = translate(errno);
    return -1;
}

int fd(Socket s) { return static_cast<int>(s); }

long long monotonicMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

Socket toSocket(int descriptor) {
    if (descriptor < 0) {
        fail();
        return kInvalidSocket;
    }
    return static_cast<Socket>(descriptor);
}

sockaddr_in makeAddress(std::uint32_t addressNetworkOrder, std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = addressNetworkOrder;
    return address;
}

int setIntOption(Socket s, int level, int option) {
    int one = 1;
    return setsockopt(fd(s), level, option, &one, sizeof one) == 0 ? 0 : fail();
}

}  // namespace

bool startup() { return true; }
void cleanup() {}

// SOCK_CLOEXEC keeps connections out of processes the application starts.
Socket openTcpSocket() { return toSocket(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)); }
Socket openUdpSocket() { return toSocket(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)); }

int closeSocket(Socket s) { return close(fd(s)) == 0 ? 0 : fail(); }

int setNonBlocking(Socket s, bool nonBlocking) {
    int flags = fcntl(fd(s), F_GETFL, 0);
    if (flags < 0) return fail();
    flags = nonBlocking ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
    return fcntl(fd(s), F_SETFL, flags) == 0 ? 0 : fail();
}

int setNoDelay(Socket s) { return setIntOption(s, IPPROTO_TCP, TCP_NODELAY); }
int setBroadcast(Socket s) { return setIntOption(s, SOL_SOCKET, SO_BROADCAST); }
int setReuseAddress(Socket s) { return setIntOption(s, SOL_SOCKET, SO_REUSEADDR); }

int shutdownSend(Socket s) { return shutdown(fd(s), SHUT_WR) == 0 ? 0 : fail(); }

int connectSocket(Socket s, std::uint32_t addressNetworkOrder, std::uint16_t port) {
    sockaddr_in address = makeAddress(addressNetworkOrder, port);
    if (connect(fd(s), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return 0;
    return fail();
}

// poll, not select: an fd_set cannot hold descriptors of FD_SETSIZE (1024)
// or more, and a host program may well have that many open.
WaitResult waitSocket(Socket s, bool forRead, bool forWrite, long seconds, long microseconds) {
    WaitResult result;
    if (seconds < 0 || microseconds < 0) {
        // select refuses a negative time-out; poll would wait for ever.
        tLastError = EINVAL;
        result.ready = -1;
        return result;
    }
    pollfd entry{};
    entry.fd = fd(s);
    entry.events = static_cast<short>((forRead ? POLLIN : 0) | (forWrite ? POLLOUT : 0) | POLLPRI);
    // poll does not report the time left when a signal interrupts it (a
    // handler installed without SA_RESTART): it is measured on the
    // monotonic clock, so that signals neither lengthen nor shorten the wait.
    const long long totalMs = static_cast<long long>(seconds) * 1000 + (microseconds + 999) / 1000;
    const long long deadline = monotonicMilliseconds() + totalMs;
    long long remaining = totalMs;
    for (;;) {
        result.ready = poll(&entry, 1, remaining > INT_MAX ? INT_MAX : static_cast<int>(remaining));
        if (result.ready >= 0 || errno != EINTR) break;
        remaining = deadline - monotonicMilliseconds();
        if (remaining < 0) remaining = 0;
    }
    if (result.ready < 0) {
        fail();
        return result;
    }
    if (entry.revents & POLLNVAL) {
        // select reports a descriptor that is not open as an error.
        tLastError = EBADF;
        result.ready = -1;
        return result;
    }
    // select counts a socket in error or at end of stream as readable and
    // writable (the next call will not block), and urgent data as an exception.
    const bool broken = (entry.revents & (POLLERR | POLLHUP)) != 0;
    result.readable = forRead && ((entry.revents & POLLIN) || broken);
    result.writable = forWrite && ((entry.revents & POLLOUT) || (entry.revents & POLLERR));
    result.failed = (entry.revents & POLLPRI) != 0;
    // POSIX reports a failed connect as writable with a pending socket
    // error, where Winsock puts it in the exception set.
    if (forWrite && result.writable) {
        int pending = 0;
        socklen_t size = sizeof pending;
        if (getsockopt(fd(s), SOL_SOCKET, SO_ERROR, &pending, &size) != 0 || pending != 0) {
            result.failed = true;
            if (pending != 0) tLastError = translate(pending);
        }
    }
    return result;
}

long sendBytes(Socket s, const void* data, std::size_t length) {
    ssize_t sent;
    do {
        sent = send(fd(s), data, length, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    return sent < 0 ? fail() : static_cast<long>(sent);
}

long receiveBytes(Socket s, void* data, std::size_t length) {
    ssize_t received;
    do {
        received = recv(fd(s), data, length, 0);
    } while (received < 0 && errno == EINTR);
    return received < 0 ? fail() : static_cast<long>(received);
}

namespace {

// A receive that never blocks, with the given further flags.
long receiveWaiting(Socket s, void* data, std::size_t length, int flags) {
    ssize_t received;
    do {
        received = recv(fd(s), data, length, flags | MSG_DONTWAIT);
    } while (received < 0 && errno == EINTR);
    if (received < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK) return kWouldBlockResult;
        return fail();
    }
    return static_cast<long>(received);
}

}  // namespace

long receiveAvailable(Socket s, void* data, std::size_t length) {
    return receiveWaiting(s, data, length, 0);
}

long peekAvailable(Socket s, void* data, std::size_t length) {
    return receiveWaiting(s, data, length, MSG_PEEK);
}

long discardReceived(Socket s, void* scratch, std::size_t length) {
    ssize_t received;
    do {
#if defined(__linux__)
        // TCP drops the bytes without copying them out.
        received = recv(fd(s), scratch, length, MSG_TRUNC);
#else
        received = recv(fd(s), scratch, length, 0);
#endif
    } while (received < 0 && errno == EINTR);
    return received < 0 ? fail() : static_cast<long>(received);
}

long sendTo(Socket s, const void* data, std::size_t length, std::uint32_t addressNetworkOrder,
            std::uint16_t port) {
    sockaddr_in address = makeAddress(addressNetworkOrder, port);
    ssize_t sent = sendto(fd(s), data, length, MSG_NOSIGNAL,
                          reinterpret_cast<sockaddr*>(&address), sizeof address);
    return sent < 0 ? fail() : static_cast<long>(sent);
}

long receiveFrom(Socket s, void* data, std::size_t length, std::uint32_t* fromAddress,
                 std::uint16_t* fromPort) {
    sockaddr_in address{};
    socklen_t size = sizeof address;
    ssize_t received =
        recvfrom(fd(s), data, length, 0, reinterpret_cast<sockaddr*>(&address), &size);
    if (received < 0) return fail();
    if (fromAddress) *fromAddress = address.sin_addr.s_addr;
    if (fromPort) *fromPort = ntohs(address.sin_port);
    return static_cast<long>(received);
}

int bindSocket(Socket s, std::uint32_t addressNetworkOrder, std::uint16_t port) {
    sockaddr_in address = makeAddress(addressNetworkOrder, port);
    return bind(fd(s), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 ? 0 : fail();
}

std::uint16_t boundPort(Socket s) {
    sockaddr_in address{};
    socklen_t size = sizeof address;
    if (getsockname(fd(s), reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        fail();
        return 0;
    }
    return ntohs(address.sin_port);
}

bool lookupHost(const char* name, std::uint32_t* addressNetworkOrder) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int failed = getaddrinfo(name, nullptr, &hints, &found);
    if (failed != 0 || found == nullptr) {
        // The look-up's own error (EAI_ codes are negative, apart from
        // errno), not one an earlier call left behind.
        tLastError = failed == EAI_SYSTEM ? translate(errno) : (failed != 0 ? failed : EAI_NONAME);
        if (found != nullptr) freeaddrinfo(found);
        return false;
    }
    *addressNetworkOrder = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(found);
    return true;
}

std::vector<std::uint32_t> localIPv4Addresses() {
    std::vector<std::uint32_t> addresses;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        fail();
        return addresses;
    }
    for (ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
        if (!(entry->ifa_flags & IFF_UP) || (entry->ifa_flags & IFF_LOOPBACK)) continue;
        addresses.push_back(reinterpret_cast<sockaddr_in*>(entry->ifa_addr)->sin_addr.s_addr);
    }
    freeifaddrs(list);
    return addresses;
}

bool parseDottedAddress(const char* text, std::uint32_t* addressNetworkOrder) {
    in_addr parsed{};
    if (text == nullptr || inet_aton(text, &parsed) == 0) return false;
    *addressNetworkOrder = parsed.s_addr;
    return true;
}

int lastError() { return tLastError; }
void setLastError(int error) { tLastError = error; }

bool isConnectionLost(int error) {
    return error == EPIPE || error == ECONNRESET || error == ECONNABORTED || error == ESHUTDOWN;
}

void yieldProcessor() { sched_yield(); }

Socket listenTcp(std::uint32_t addressNetworkOrder, std::uint16_t port, int backlog) {
    Socket s = openTcpSocket();
    if (s == kInvalidSocket) return s;
    setReuseAddress(s);
    if (bindSocket(s, addressNetworkOrder, port) != 0 || listen(fd(s), backlog) != 0) {
        int saved = errno;
        close(fd(s));
        errno = saved;
        fail();
        return kInvalidSocket;
    }
    return s;
}

Socket acceptConnection(Socket listener) {
    int accepted;
    do {
        accepted = accept4(fd(listener), nullptr, nullptr, SOCK_CLOEXEC);
    } while (accepted < 0 && errno == EINTR);
    return toSocket(accepted);
}

void sleepMilliseconds(unsigned milliseconds) {
    timespec request{static_cast<time_t>(milliseconds / 1000),
                     static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&request, &request) != 0 && errno == EINTR) {
    }
}

}  // namespace kelo::net
