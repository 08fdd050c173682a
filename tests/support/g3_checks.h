/* SPDX-License-Identifier: Apache-2.0 */
// Small checks shared by the request tests: an opened connection, lists of
// results, timing, a socket that cannot send, and words as on the wire.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <algorithm>
#include <initializer_list>
#include <memory>
#include <vector>

#include "core/scanner_connection.h"
#include "core/socket_layer.h"
#include "emulator/emulator.h"
#include "support/emulator_fixture.h"

namespace kelo::test {

// A test that starts with a connection open to its own emulator.
class ConnectedTest : public EmulatorTest {
protected:
    void SetUp() override {
        EmulatorTest::SetUp();
        c_ = open();
        ASSERT_NE(c_, nullptr);
    }
    ScannerConnection* c_ = nullptr;
};

// Every result of a list of calls (evaluated left to right) is `expected`.
inline void expectAll(std::int64_t expected, std::initializer_list<std::int64_t> results) {
    int call = 0;
    for (const std::int64_t result : results) EXPECT_EQ(result, expected) << "call " << call++;
}

// Fails unless fn takes at least `least` and less than `most` seconds.
template <typename Fn>
void expectTakes(double least, double most, Fn fn) {
    const auto started = std::chrono::steady_clock::now();
    fn();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_GE(seconds, least);
    EXPECT_LT(seconds, most);
}

// Runs fn with the connection's socket replaced by one that cannot send.
template <typename Fn>
void withBrokenSocket(ScannerConnection* connection, Fn fn) {
    const net::Socket real = connection->socket;
    connection->socket = net::kInvalidSocket;
    fn();
    connection->socket = real;
}

// Big-endian words, as commands and answers carry them.
inline emu::Bytes words(std::initializer_list<std::uint32_t> values) {
    emu::Bytes bytes;
    for (const std::uint32_t value : values) emu::appendWord(bytes, value);
    return bytes;
}

// Every `code` is answered with the scripted answers in turn, the last one
// repeated (an empty answer sends nothing).
inline void answerInTurn(emu::Emulator& emulator, std::uint32_t code, std::vector<emu::Bytes> answers) {
    auto next = std::make_shared<std::size_t>(0);
    emulator.overrideCommand(code, [answers, next](emu::Session& s, const emu::Command&) {
        s.sendRaw(answers[std::min((*next)++, answers.size() - 1)]);
    });
}

// No byte of [from, to) of the object changed from the fill pattern.
inline bool untouchedBytes(const void* object, std::size_t from, std::size_t to, std::uint8_t fill) {
    const auto* bytes = static_cast<const std::uint8_t*>(object);
    for (std::size_t i = from; i < to; ++i) {
        if (bytes[i] != fill) return false;
    }
    return true;
}

}  // namespace kelo::test
