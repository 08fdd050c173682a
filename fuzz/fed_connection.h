/* SPDX-License-Identifier: Apache-2.0 */
// A library connection whose scanner end plays back a fuzzer's input: the
// bytes go through a real loopback TCP pair, then the scanner end stops
// sending, so any read past the input fails at once instead of waiting
// for a time-out. Commands the library sends are accepted and ignored.
//
// The bytes arrive all at once, or in pieces with a short pause after
// each, so that the library meets partial reads and has to wait.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <thread>

#include "core/scanner_connection.h"
#include "core/socket_layer.h"

namespace kelo::fuzz {

// How the scanner end hands over its bytes: `count` pieces of the given
// lengths, each followed by a pause, then the rest. No pieces: all at once.
struct Delivery {
    static constexpr unsigned kMaxPieces = 8;
    std::size_t pieces[kMaxPieces] = {};
    unsigned count = 0;
};

// Splits a fuzzer input: the first byte chooses among `choices` variants
// of a target (its top bit asks for delivery in pieces), the second is a
// small argument some targets use. With pieces, a byte giving their number
// (modulo kMaxPieces + 1) follows, then each piece's length less one as a
// 2-byte little-endian number. The rest is the scanner's byte stream.
struct Selected {
    unsigned choice = 0;
    std::uint8_t option = 0;
    Delivery delivery;
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
};
Selected select(const std::uint8_t* data, std::size_t size, unsigned choices);

class FedConnection {
public:
    // Connected, with nothing sent until feed().
    FedConnection();
    // Connected and fed the selected input.
    explicit FedConnection(const Selected& input);
    ~FedConnection();
    FedConnection(const FedConnection&) = delete;
    FedConnection& operator=(const FedConnection&) = delete;

    // Starts the playback (once per connection); the bytes must outlive it.
    void feed(const std::uint8_t* data, std::size_t size, const Delivery& delivery);

    // Null when the loopback pair could not be made.
    ScannerConnection* connection() { return connection_; }

private:
    void play(const std::uint8_t* data, std::size_t size, Delivery delivery);

    net::Socket peer_ = net::kInvalidSocket;
    ScannerConnection* connection_ = nullptr;
    std::thread writer_;
    std::atomic<bool> stopping_{false};
};

}  // namespace kelo::fuzz
