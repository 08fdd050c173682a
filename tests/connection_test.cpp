// SPDX-License-Identifier: Apache-2.0
// Opening and closing connections, and the accessors that need no scanner.
#if !defined(_WIN32)
#include <netdb.h>
#endif

#include "core/socket_layer.h"
#include "core/transport.h"
#include "core/wire.h"
#include "support/emulator_fixture.h"
#include "support/g3_checks.h"

namespace kelo::test {
namespace {

std::uint32_t dotted(const char* text) {
    std::uint32_t address = 0;
    EXPECT_TRUE(net::parseDottedAddress(text, &address)) << text;
    return address;
}

TEST(ConnectionWithoutScanner, BaseAddressPlusOffset) {
    EXPECT_EQ(wire::offsetAddress(dotted("192.168.1.100"), 5), dotted("192.168.1.105"));
    EXPECT_EQ(wire::offsetAddress(dotted("10.0.0.250"), 10), dotted("10.0.1.4"));
    EXPECT_EQ(wire::offsetAddress(dotted("192.168.1.100"), 256), dotted("192.168.2.100"));
    EXPECT_EQ(wire::offsetAddress(dotted("255.255.255.255"), 2), dotted("0.0.0.1"));
}

// A listener whose backlog is full drops further SYNs, so a connect to it
// neither succeeds nor is refused: the connect time-out decides, 1 s unless
// the caller gives its own.
TEST(ConnectionWithoutScanner, ConnectTimesOutAfterAboutOneSecond) {
    const std::string address = uniqueLoopbackAddress();
    net::Socket listener = net::listenTcp(dotted(address.c_str()), KELO_SCANNER_TCP_PORT, 0);
    ASSERT_NE(listener, net::kInvalidSocket);
    // Fill the accept queue; some of these may themselves time out.
    std::vector<net::Socket> fillers;
    for (int i = 0; i < 2; ++i) {
        net::Socket s = connectAddress(dotted(address.c_str()), KELO_SCANNER_TCP_PORT);
        if (s != net::kInvalidSocket) fillers.push_back(s);
    }
    const struct {
        std::int32_t timeoutMs;  // of lpOpenConnectionPort; -1 for lpOpenConnection
        double least, most;
    } cases[] = {{-1, 0.9, 3.0}, {300, 0.25, 0.9}, {0, 0.9, 3.0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.timeoutMs);
        ScannerConnection* connection = nullptr;
        expectTakes(c.least, c.most, [&] {
            connection = c.timeoutMs < 0 ? lpOpenConnection(address.c_str())
                                         : lpOpenConnectionPort(address.c_str(), KELO_SCANNER_TCP_PORT, c.timeoutMs);
        });
        EXPECT_EQ(connection, nullptr);
        if (connection) lpCloseConnection(connection);
    }
    for (net::Socket s : fillers) net::closeSocket(s);
    net::closeSocket(listener);
}

// Null arguments, a host that does not resolve, or an address where
// nothing listens. A failed look-up reports its own error, not the refused
// connect before it.
TEST(ConnectionWithoutScanner, NoScannerGivesNull) {
#if defined(_WIN32)
    const int notFound = 11001;  // WSAHOST_NOT_FOUND
#else
    const int notFound = EAI_NONAME;
#endif
    const std::string address = uniqueLoopbackAddress();
    EXPECT_EQ(lpOpenConnection(nullptr), nullptr);
    EXPECT_EQ(lpOpenConnectionBase(nullptr, 5), nullptr);
    EXPECT_EQ(lpCloseConnection(nullptr), 0);
    EXPECT_EQ(lpGetNumberOfErrorMessages(nullptr), 0);
    EXPECT_EQ(lpGetErrorMessage(nullptr, 0), nullptr);
    EXPECT_EQ(lpGetSocket(nullptr), -1);
    EXPECT_EQ(lpOpenConnectionInt(dotted(address.c_str())), nullptr);
    const int refused = lpGetLastSocketError();
    EXPECT_NE(refused, 0);
    EXPECT_EQ(lpOpenConnection(kUnresolvableHost.c_str()), nullptr);
    EXPECT_EQ(lpGetLastSocketError(), notFound) << "after " << refused;
    EXPECT_EQ(lpOpenConnectionInt(dotted(address.c_str())), nullptr);
    EXPECT_EQ(lpOpenConnectionBase(kUnresolvableHost.c_str(), 1), nullptr);
    EXPECT_EQ(lpGetLastSocketError(), notFound);
    EXPECT_EQ(lpOpenConnection(address.c_str()), nullptr);
}

class ConnectionTest : public EmulatorTest {};

// Close sends exactly the close command, and frees even when the peer vanished.
TEST_F(ConnectionTest, Close) {
    ScannerConnection* connection = open();
    ASSERT_NE(connection, nullptr);
    EXPECT_EQ(lpGetNumberOfErrorMessages(connection), 0);
    EXPECT_EQ(lpGetErrorMessage(connection, 0), nullptr);
    EXPECT_GE(lpGetSocket(connection), 0);
    connection_ = nullptr;
    EXPECT_EQ(lpCloseConnection(connection), 0);
    expectReceived(words({0x66, 0}));
    connection = lpOpenConnection(address_.c_str());
    ASSERT_NE(connection, nullptr);
    emulator_.stop();
    EXPECT_EQ(lpCloseConnection(connection), 0);
}

// A scanner on another port is reached only through the port form; ports
// outside 1 to 65535 are refused before anything is tried.
TEST(ConnectionWithoutScanner, ScannerOnAnotherPort) {
    emu::Emulator emulator;
    const std::string address = uniqueLoopbackAddress();
    ASSERT_TRUE(emulator.start(address, 24400));
    EXPECT_EQ(lpOpenConnection(address.c_str()), nullptr);
    for (std::uint32_t port : {0u, 65536u, 0xFFFFFFFFu}) EXPECT_EQ(lpOpenConnectionPort(address.c_str(), port, 0), nullptr);
    EXPECT_EQ(lpOpenConnectionPort(nullptr, 24400, 0), nullptr);
    ScannerConnection* connection = lpOpenConnectionPort(address.c_str(), 24400, 500);
    ASSERT_NE(connection, nullptr);
    ProfileRecord record;
    EXPECT_EQ(lpGetProfile(connection, &record), 0);
    EXPECT_EQ(lpCloseConnection(connection), 0);
    emulator.stop();
}

TEST_F(ConnectionTest, OpenByIntegerAndByBaseAddress) {
    const std::uint32_t target = dotted(address_.c_str());
    ScannerConnection* byInt = lpOpenConnectionInt(target);
    ASSERT_NE(byInt, nullptr);
    EXPECT_EQ(lpCloseConnection(byInt), 0);
    // A base ten below the emulator's address, written as text.
    const std::uint32_t hostBase = wire::networkToHost(target) - 10;
    char text[32];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", hostBase >> 24, (hostBase >> 16) & 255,
                  (hostBase >> 8) & 255, hostBase & 255);
    ScannerConnection* byBase = lpOpenConnectionBase(text, 10);
    ASSERT_NE(byBase, nullptr) << text << " + 10";
    EXPECT_EQ(lpCloseConnection(byBase), 0);
    for (int i = 0; i < 100 && emulator_.connectionsAccepted() < 2; ++i) net::sleepMilliseconds(20);
    EXPECT_EQ(emulator_.connectionsAccepted(), 2u);
}

}  // namespace
}  // namespace kelo::test
