// SPDX-License-Identifier: Apache-2.0
// The blocking primitives against a scripted peer.
#include <chrono>
#include <thread>

#include "core/transport.h"
#include "support/emulator_fixture.h"
#include "support/g3_checks.h"

namespace kelo::test {
namespace {

constexpr std::uint32_t kScriptCommand = 200;  // not a real command: the test's trigger

class TransportTest : public EmulatorTest {
protected:
    void SetUp() override {
        EmulatorTest::SetUp();
        std::uint32_t address = 0;
        ASSERT_TRUE(net::parseDottedAddress(address_.c_str(), &address));
        socket_ = connectAddress(address, KELO_SCANNER_TCP_PORT);
        ASSERT_NE(socket_, net::kInvalidSocket);
    }
    void TearDown() override {
        if (socket_ != net::kInvalidSocket) net::closeSocket(socket_);
        EmulatorTest::TearDown();
    }
    // Makes the emulator run `script` when it sees the trigger command.
    void trigger(emu::Handler script) {
        emulator_.overrideCommand(kScriptCommand, std::move(script));
        auto command = wire::buildCommand(kScriptCommand);
        ASSERT_EQ(sendCommand(link(), command), 0);
    }
    Link link() { return Link{socket_, &failure_}; }
    net::Socket socket_ = net::kInvalidSocket;
    Failure failure_;
};

TEST(TransportWithoutPeer, ZeroBytesNeedNoSocket) {
    // With nothing to transfer neither primitive touches the socket.
    std::uint8_t byte = 0x5A;
    EXPECT_EQ(receiveExact(Link{net::kInvalidSocket}, &byte, 0, 1000), 0);
    EXPECT_EQ(sendAll(Link{net::kInvalidSocket}, &byte, 0), 0);
    EXPECT_EQ(byte, 0x5A);
}

TEST_F(TransportTest, PiecesArrivingSlowerThanTheTimeoutInTotalStillSucceed) {
    trigger([](emu::Session& session, const emu::Command&) {
        for (std::uint8_t i = 0; i < 3; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            std::uint8_t piece[2] = {i, static_cast<std::uint8_t>(i + 10)};
            session.sendRaw(piece, sizeof piece);
        }
    });
    std::uint8_t buffer[6] = {};
    EXPECT_EQ(receiveExact(link(), buffer, sizeof buffer, 500), 0);
    EXPECT_EQ(failure_.code, KELO_FAILURE_NONE);
    EXPECT_EQ(hex(emu::Bytes(buffer, buffer + 6)), "00 0A 01 0B 02 0C");
}

// A peer closing halfway gives -1, noted as closed, and keeps the first
// half; sends to it then fail. The first send after a reset may still be
// accepted by the stack, so a bounded number of sends must run into the
// error, which is the closed connection again.
TEST_F(TransportTest, PeerClosingHalfway) {
    trigger([](emu::Session& session, const emu::Command&) {
        session.sendRaw(bytesOf({1, 2, 3, 4}));
        session.close();
    });
    std::uint8_t buffer[8] = {9, 9, 9, 9, 9, 9, 9, 9};
    EXPECT_EQ(receiveExact(link(), buffer, sizeof buffer, 2000), -1);
    EXPECT_EQ(hex(emu::Bytes(buffer, buffer + 8)), "01 02 03 04 09 09 09 09");
    EXPECT_EQ(failure_.code, KELO_FAILURE_CLOSED);
    failure_ = Failure{};
    std::vector<std::uint8_t> block(64 * 1024, 0);
    int result = 0;
    for (int i = 0; i < 50 && result == 0; ++i) {
        result = sendAll(link(), block.data(), static_cast<std::uint32_t>(block.size()));
    }
    EXPECT_EQ(result, -1);
    EXPECT_EQ(failure_.code, KELO_FAILURE_CLOSED) << "socket error " << net::lastError();
}

// 1500 ms is 1 s plus 500000 us before each piece: the first byte comes,
// then silence for the whole 1.5 s. 999 ms is 0 s and 999000 us: still
// close to a second, not zero. The default is five seconds.
TEST_F(TransportTest, SilenceGivesTimeoutAfterTheSplitTimeOut) {
    trigger([](emu::Session& session, const emu::Command&) { session.sendRaw(bytesOf({7})); });
    std::uint8_t buffer[4] = {};
    expectTakes(1.4, 3.0, [&] { EXPECT_EQ(receiveExact(link(), buffer, sizeof buffer, 1500), -4); });
    EXPECT_EQ(buffer[0], 7);
    EXPECT_EQ(failure_.code, KELO_FAILURE_TIMEOUT);
    expectTakes(0.9, 3.0, [&] { EXPECT_EQ(receiveExact(link(), buffer, 1, 999), -4); });
    expectTakes(4.9, 8.0, [&] { EXPECT_EQ(receiveExactDefault(link(), buffer, sizeof buffer), -4); });
}

}  // namespace
}  // namespace kelo::test
