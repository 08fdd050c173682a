// Opening and closing connections, and the accessors that need no scanner.
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
// neither succeeds nor is refused: the 1-second connect time-out decides.
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
    ScannerConnection* connection = nullptr;
    expectTakes(0.9, 3.0, [&] { connection = lpOpenConnection(address.c_str()); });
    EXPECT_EQ(connection, nullptr);
    if (connection) lpCloseConnection(connection);
    for (net::Socket s : fillers) net::closeSocket(s);
    net::closeSocket(listener);
}

// Null arguments, a host that does not resolve, or an address where
// nothing listens.
TEST(ConnectionWithoutScanner, NoScannerGivesNull) {
    const std::string address = uniqueLoopbackAddress();
    EXPECT_EQ(lpOpenConnection(nullptr), nullptr);
    EXPECT_EQ(lpOpenConnectionBase(nullptr, 5), nullptr);
    EXPECT_EQ(lpCloseConnection(nullptr), 0);
    EXPECT_EQ(lpGetNumberOfErrorMessages(nullptr), 0);
    EXPECT_EQ(lpGetErrorMessage(nullptr, 0), nullptr);
    EXPECT_EQ(lpOpenConnection("no-such-host.invalid"), nullptr);
    EXPECT_EQ(lpOpenConnectionBase("no-such-host.invalid", 1), nullptr);
    EXPECT_EQ(lpOpenConnection(address.c_str()), nullptr);
    EXPECT_EQ(lpOpenConnectionInt(dotted(address.c_str())), nullptr);
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
