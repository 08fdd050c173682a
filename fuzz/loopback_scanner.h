/* SPDX-License-Identifier: Apache-2.0 */
// A scanner on loopback for the discovery targets. It routes the calling
// thread's discovery broadcasts to itself, answers the first request with
// datagrams taken from a fuzzer input, then with distinct valid replies
// until it is stopped, so a discovery call ends as soon as its array is
// full instead of after the quiet period.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "core/socket_layer.h"
#include "discovery/broadcast.h"
#include "discovery/udp_message.h"

namespace kelo::fuzz {

struct Datagram {
    const std::uint8_t* bytes;
    std::size_t length;
};

// Input format: datagrams, each a 2-byte little-endian length (at most 600,
// so oversized datagrams occur) followed by that many bytes.
std::vector<Datagram> splitDatagrams(const std::uint8_t* data, std::size_t size);

// The replies a discovery keeps, in order: a valid header and an identity
// not seen before; short datagrams read as zero-filled, long ones cut.
std::vector<udp::Message> acceptedReplies(const std::vector<Datagram>& datagrams);

class LoopbackScanner {
public:
    explicit LoopbackScanner(std::vector<Datagram> datagrams);
    ~LoopbackScanner();
    LoopbackScanner(const LoopbackScanner&) = delete;
    LoopbackScanner& operator=(const LoopbackScanner&) = delete;

    // False when its socket could not be made; nothing is routed then.
    bool ready() const { return socket_ != net::kInvalidSocket; }
    // Ends the replies; the request the library sent, if any, is then in request().
    void stop();
    const udp::Message& request() const { return request_; }
    bool requested() const { return requested_; }

private:
    void play();

    std::vector<Datagram> datagrams_;
    net::Socket socket_ = net::kInvalidSocket;
    std::unique_ptr<discovery::ScopedBroadcastRoute> route_;
    std::atomic<bool> stopping_{false};
    udp::Message request_{};
    bool requested_ = false;
    std::thread player_;
};

}  // namespace kelo::fuzz
