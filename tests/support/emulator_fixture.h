/* SPDX-License-Identifier: Apache-2.0 */
// Test support: an in-process scanner emulator on a loopback address of its
// own, so test processes can run in parallel on the scanner port.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

#include "core/wire.h"
#include "emulator/emulator.h"
#include "kelo_dll.h"

namespace kelo::test {

// A fresh 127.x.y.z address, distinct per process and per call.
std::string uniqueLoopbackAddress();

// A host name that cannot resolve and never leaves the machine: its first
// label is longer than DNS allows, so the resolver fails before any query.
inline const std::string kUnresolvableHost = std::string(64, 'x') + ".invalid";

// Bytes written as hex ("00 00 00 66"), for readable failure messages.
std::string hex(const emu::Bytes& bytes);
emu::Bytes bytesOf(std::initializer_list<unsigned> values);

class EmulatorTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Opens a library connection to the emulator; fails the test on null.
    ScannerConnection* open();
    // Waits until the emulator has received exactly `expected` and compares.
    void expectReceived(const emu::Bytes& expected, int timeoutMs = 2000);
    // Makes the emulator answer every `code` with these raw bytes.
    void answerWith(std::uint32_t code, emu::Bytes bytes);
    // Makes the emulator answer only the first `code` from now on, by `send`
    // or with these raw bytes; later ones get nothing.
    void answerOnceWith(std::uint32_t code, std::function<void(emu::Session&)> send);
    void answerOnceWith(std::uint32_t code, emu::Bytes bytes);
    // Reads `count` bytes the library left in the open connection's socket.
    emu::Bytes leftInSocket(std::size_t count);

    std::string address_;
    emu::Emulator emulator_;
    ScannerConnection* connection_ = nullptr;
};

}  // namespace kelo::test
