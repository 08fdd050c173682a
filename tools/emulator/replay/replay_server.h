/* SPDX-License-Identifier: Apache-2.0 */
// Plays the scanner's side of a recorded session: every connection gets,
// for each command, the answers recorded for the command in the same place.
// A command that differs from the recording is logged with both byte
// strings; it is answered from the recording when its code is the recorded
// one, else the connection is closed.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "core/socket_layer.h"
#include "emulator/replay/recorded_session.h"

namespace kelo::replay {

class ReplayServer {
public:
    using Log = std::function<void(const std::string&)>;

    ReplayServer(Recording recording, Log log);
    ~ReplayServer();
    ReplayServer(const ReplayServer&) = delete;
    ReplayServer& operator=(const ReplayServer&) = delete;

    // Listens and serves one connection after another on a thread of its own.
    bool start(const std::string& bindAddress, std::uint16_t port);
    void stop();
    std::size_t connectionsServed() const { return served_; }

private:
    void run();
    void serve(net::Socket client);
    bool receive(net::Socket client, std::uint8_t* destination, std::size_t length);
    bool send(net::Socket client, const Bytes& bytes);

    Recording recording_;
    Log log_;
    net::Socket listener_ = net::kInvalidSocket;
    std::atomic<bool> stopping_{false};
    std::atomic<std::size_t> served_{0};
    std::thread thread_;
};

}  // namespace kelo::replay
