#include "fed_connection.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/transport.h"
#include "core/wire.h"

namespace kelo::fuzz {
namespace {

constexpr std::uint8_t kLoopback[4] = {127, 0, 0, 1};
// Inputs up to this size fit the socket buffers and are written before the
// library reads; larger ones are written by a thread while it reads.
constexpr std::size_t kDirectWriteLimit = 8 * 1024;

struct Listener {
    net::Socket socket = net::kInvalidSocket;
    std::uint32_t address = 0;
    std::uint16_t port = 0;
};

const Listener& listener() {
    static const Listener instance = [] {
        Listener l;
        std::memcpy(&l.address, kLoopback, sizeof l.address);
        l.socket = net::listenTcp(l.address, 0, 4);
        if (l.socket == net::kInvalidSocket) {
            std::fprintf(stderr, "fuzz: cannot listen on 127.0.0.1\n");
            std::abort();
        }
        l.port = net::boundPort(l.socket);
        return l;
    }();
    return instance;
}

void feed(net::Socket peer, const std::uint8_t* data, std::size_t size) {
    // A failed send means the library side is already gone; nothing to do.
    sendAll(peer, data, static_cast<std::uint32_t>(size));
    net::shutdownSend(peer);
}

}  // namespace

FedConnection::FedConnection(const std::uint8_t* data, std::size_t size) {
    const Listener& l = listener();
    const net::Socket library = connectAddress(l.address, l.port);
    if (library == net::kInvalidSocket) return;
    peer_ = net::acceptConnection(l.socket);
    if (peer_ == net::kInvalidSocket) {
        net::closeSocket(library);
        return;
    }
    connection_ = new ScannerConnection();
    connection_->socket = library;
    if (size <= kDirectWriteLimit) {
        feed(peer_, data, size);
    } else {
        writer_ = std::thread(feed, peer_, data, size);
    }
}

FedConnection::~FedConnection() {
    // Closing the library end first releases a writer blocked on a full
    // socket when the library stopped reading early.
    if (connection_ != nullptr) {
        net::closeSocket(connection_->socket);
        delete connection_;
    }
    if (writer_.joinable()) writer_.join();
    if (peer_ != net::kInvalidSocket) net::closeSocket(peer_);
}

Selected select(const std::uint8_t* data, std::size_t size, unsigned choices) {
    Selected s;
    if (size >= 1) s.choice = data[0] % choices;
    if (size >= 2) s.option = data[1];
    const std::size_t skip = size < 2 ? size : 2;
    s.data = data + skip;
    s.size = size - skip;
    return s;
}

}  // namespace kelo::fuzz
