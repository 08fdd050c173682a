/* SPDX-License-Identifier: Apache-2.0 */
// The benchmarks' scanner: every batch request (command 38) is answered
// with one pre-built batch of 100 profiles of 243 points and every profile
// request (command 10) with one profile, so that what is measured is the
// reader and not the sender.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <thread>

#include "core/socket_layer.h"
#include "emulator/emulator.h"

namespace kelo::bench {

inline constexpr std::uint32_t kProfilesPerBatch = 100;

emu::Bytes buildBatch();
emu::Bytes buildSingle();

// Blocking loops over the socket layer; false once the peer closed or failed.
bool sendAllRaw(net::Socket s, const std::uint8_t* data, std::size_t length);
bool readAllRaw(net::Socket s, std::uint8_t* data, std::size_t length);

// A listener on the scanner port of a dotted address, or kInvalidSocket
// after saying on stderr, under the program's name, why not.
net::Socket listenOnScannerPort(const char* program, const char* address);

// Answers one connection until it closes or sends the close command.
void serveConnection(net::Socket client, const emu::Bytes& batch, const emu::Bytes& single);

// Serves the connections of a listener one after another on a thread of
// its own, until destroyed.
class Sender {
public:
    Sender(net::Socket listener, const emu::Bytes& batch, const emu::Bytes& single);
    ~Sender();
    Sender(const Sender&) = delete;
    Sender& operator=(const Sender&) = delete;

private:
    void run();

    net::Socket listener_;
    const emu::Bytes& batch_;
    const emu::Bytes& single_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace kelo::bench
