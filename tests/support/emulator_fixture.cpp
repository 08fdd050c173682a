// SPDX-License-Identifier: Apache-2.0
#include "support/emulator_fixture.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <cstdio>
#include <thread>
#include <unistd.h>

namespace kelo::test {
namespace {
std::atomic<unsigned> gNextAddress{0};
}

std::string uniqueLoopbackAddress() {
    // The process id spreads parallel test processes over 127/8; the counter
    // keeps addresses within one process apart.
    const unsigned value = static_cast<unsigned>(getpid()) * 16u + gNextAddress++;
    const unsigned c = 1 + value % 254;
    const unsigned b = (value / 254) % 256;
    const unsigned a = 1 + (value / 254 / 256) % 254;
    char text[32];
    std::snprintf(text, sizeof text, "127.%u.%u.%u", a, b, c);
    return text;
}

std::string hex(const emu::Bytes& bytes) {
    std::string out;
    char piece[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(piece, sizeof piece, i ? " %02X" : "%02X", bytes[i]);
        out += piece;
    }
    return out;
}

emu::Bytes bytesOf(std::initializer_list<unsigned> values) {
    emu::Bytes bytes;
    for (unsigned v : values) bytes.push_back(static_cast<std::uint8_t>(v));
    return bytes;
}

void EmulatorTest::SetUp() {
    for (int attempt = 0; attempt < 8; ++attempt) {
        address_ = uniqueLoopbackAddress();
        if (emulator_.start(address_, KELO_SCANNER_TCP_PORT)) return;
    }
    FAIL() << "the emulator could not listen on any loopback address";
}

void EmulatorTest::TearDown() {
    if (connection_ != nullptr) lpCloseConnection(connection_);
    connection_ = nullptr;
    emulator_.stop();
}

ScannerConnection* EmulatorTest::open() {
    connection_ = lpOpenConnection(address_.c_str());
    EXPECT_NE(connection_, nullptr) << "no connection to " << address_;
    return connection_;
}

void EmulatorTest::expectReceived(const emu::Bytes& expected, int timeoutMs) {
    emulator_.waitForReceived(expected.size(), timeoutMs);
    // Give a stray extra byte a moment to show up before comparing.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(hex(emulator_.received()), hex(expected));
}

void EmulatorTest::answerWith(std::uint32_t code, emu::Bytes bytes) {
    emulator_.overrideCommand(code, [bytes](emu::Session& session, const emu::Command&) {
        session.sendRaw(bytes);
    });
}

void EmulatorTest::answerOnceWith(std::uint32_t code, std::function<void(emu::Session&)> send) {
    auto done = std::make_shared<bool>(false);
    emulator_.overrideCommand(code, [send, done](emu::Session& session, const emu::Command&) {
        if (!*done) send(session);
        *done = true;
    });
}

void EmulatorTest::answerOnceWith(std::uint32_t code, emu::Bytes bytes) {
    answerOnceWith(code, [bytes](emu::Session& session) { session.sendRaw(bytes); });
}

}  // namespace kelo::test
