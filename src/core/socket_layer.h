/* SPDX-License-Identifier: Apache-2.0 */
// The platform socket layer: the short list of operations the library needs,
// implemented once for POSIX (core/posix) and once for Winsock 2 (core/win32).
// Nothing outside src/core knows which one is in use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kelo::net {

// Socket handles are 32-bit unsigned, as the connection record and
// lpGetSocket expose them.
using Socket = std::uint32_t;
inline constexpr Socket kInvalidSocket = 0xFFFFFFFFu;

// Last-error values the library's logic tests for.
inline constexpr int kErrorWouldBlock = 10035;     // WSAEWOULDBLOCK; EINPROGRESS/EAGAIN map here
inline constexpr int kErrorInvalidArgument = 22;   // the discovery functions' argument error
inline constexpr int kErrorNoBuffers = 10055;      // WSAENOBUFS: the library ran out of memory

// Start and stop the layer (WSAStartup 2.2 / WSACleanup; nothing on POSIX).
// startup() gives false when the layer cannot be started at exactly 2.2.
bool startup();
void cleanup();

Socket openTcpSocket();
Socket openUdpSocket();
// 0 on success, -1 on failure (the last error is set).
int closeSocket(Socket s);
int setNonBlocking(Socket s, bool nonBlocking);
int setNoDelay(Socket s);
int setBroadcast(Socket s);
int setReuseAddress(Socket s);
// Ends the sending half of a connected TCP socket: the peer reads the
// bytes already sent, then end of stream; this side can still receive.
int shutdownSend(Socket s);

// Starts a connect; 0 when connected at once, -1 otherwise with the last
// error set (kErrorWouldBlock while a non-blocking connect is in progress).
int connectSocket(Socket s, std::uint32_t addressNetworkOrder, std::uint16_t port);

struct WaitResult {
    int ready = 0;          // -1 error (a negative time-out too), 0 time-out, else > 0
    bool readable = false;
    bool writable = false;
    bool failed = false;    // exception set, or a connect that ended in error
};
// Waits until the socket is readable and/or writable (as asked), or in
// error, for at most seconds + microseconds. A signal that interrupts the
// wait does not end it: it goes on for the time that remains.
WaitResult waitSocket(Socket s, bool forRead, bool forWrite, long seconds, long microseconds);

// send/recv: the byte count, or -1 on error; recv gives 0 when the peer closed.
long sendBytes(Socket s, const void* data, std::size_t length);
long receiveBytes(Socket s, void* data, std::size_t length);
// A receive that never blocks: bytes received, 0 peer closed, -1 error,
// kWouldBlockResult when nothing is waiting yet.
inline constexpr long kWouldBlockResult = -2;
long receiveAvailable(Socket s, void* data, std::size_t length);
// Copies what is waiting, up to length bytes, without taking it from the
// socket; never blocks. Results as receiveAvailable.
long peekAvailable(Socket s, void* data, std::size_t length);
// Takes length bytes that a peek showed to be waiting and drops them;
// scratch (length bytes) may be left unwritten. Results as receiveBytes.
long discardReceived(Socket s, void* scratch, std::size_t length);

long sendTo(Socket s, const void* data, std::size_t length, std::uint32_t addressNetworkOrder,
            std::uint16_t port);
// Fills the sender's address and port (host order) when given.
long receiveFrom(Socket s, void* data, std::size_t length, std::uint32_t* fromAddress,
                 std::uint16_t* fromPort);

int bindSocket(Socket s, std::uint32_t addressNetworkOrder, std::uint16_t port);
// The bound port in host order, 0 on failure.
std::uint16_t boundPort(Socket s);

// Name lookup (gethostbyname semantics: dotted text is accepted as well).
// A failed look-up sets the last error to the look-up's own error.
bool lookupHost(const char* name, std::uint32_t* addressNetworkOrder);
// The host's own IPv4 addresses (network order), as the host name resolves.
std::vector<std::uint32_t> localIPv4Addresses();
// inet_addr: the address, or false for text that is not a dotted address.
bool parseDottedAddress(const char* text, std::uint32_t* addressNetworkOrder);

// The calling thread's last socket error.
int lastError();
void setLastError(int error);
// Whether a socket error means that the peer closed or reset the connection.
bool isConnectionLost(int error);

// Gives up the rest of the time slice (Sleep(0)).
void yieldProcessor();

// Server side, used only by the scanner emulator and the tests.
Socket listenTcp(std::uint32_t addressNetworkOrder, std::uint16_t port, int backlog);
Socket acceptConnection(Socket listener);
// Sleeps the calling thread.
void sleepMilliseconds(unsigned milliseconds);

}  // namespace kelo::net
