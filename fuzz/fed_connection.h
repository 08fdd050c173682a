// A library connection whose scanner end plays back a fuzzer's input: the
// bytes go through a real loopback TCP pair, then the scanner end stops
// sending, so any read past the input fails at once instead of waiting
// for a time-out. Commands the library sends are accepted and ignored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <thread>

#include "core/scanner_connection.h"
#include "core/socket_layer.h"

namespace kelo::fuzz {

class FedConnection {
public:
    FedConnection(const std::uint8_t* data, std::size_t size);
    ~FedConnection();
    FedConnection(const FedConnection&) = delete;
    FedConnection& operator=(const FedConnection&) = delete;

    // Null when the loopback pair could not be made.
    ScannerConnection* connection() { return connection_; }

private:
    net::Socket peer_ = net::kInvalidSocket;
    ScannerConnection* connection_ = nullptr;
    std::thread writer_;
};

// Splits a fuzzer input: the first byte chooses among `choices` variants
// of a target, the rest is the scanner's byte stream.
struct Selected {
    unsigned choice = 0;
    std::uint8_t option = 0;  // a second byte some targets use as a small argument
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
};
Selected select(const std::uint8_t* data, std::size_t size, unsigned choices);

}  // namespace kelo::fuzz
