#include "fed_connection.h"

#include <chrono>
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
// Long enough for the library to take a piece and wait for the next, short
// enough that a run still tries many inputs.
constexpr std::chrono::microseconds kPause{1000};
constexpr std::uint8_t kPiecesFlag = 0x80;

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

}  // namespace

FedConnection::FedConnection() {
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
}

FedConnection::FedConnection(const Selected& input) : FedConnection() {
    feed(input.data, input.size, input.delivery);
}

FedConnection::~FedConnection() {
    // Closing the library end first releases a writer blocked on a full
    // socket when the library stopped reading early.
    stopping_ = true;
    if (connection_ != nullptr) {
        net::closeSocket(connection_->socket);
        delete connection_;
    }
    if (writer_.joinable()) writer_.join();
    if (peer_ != net::kInvalidSocket) net::closeSocket(peer_);
}

void FedConnection::feed(const std::uint8_t* data, std::size_t size, const Delivery& delivery) {
    if (connection_ == nullptr || writer_.joinable()) return;
    if (delivery.count == 0 && size <= kDirectWriteLimit) {
        sendAll(Link{peer_}, data, static_cast<std::uint32_t>(size));
        net::shutdownSend(peer_);
        return;
    }
    // Every piece leaves at once rather than waiting for the one before
    // to be acknowledged.
    if (delivery.count != 0) net::setNoDelay(peer_);
    writer_ = std::thread(&FedConnection::play, this, data, size, delivery);
}

void FedConnection::play(const std::uint8_t* data, std::size_t size, Delivery delivery) {
    // A failed send means the library side is already gone; nothing to do.
    std::size_t sent = 0;
    for (unsigned i = 0; i < delivery.count && sent < size && !stopping_; ++i) {
        const std::size_t piece = delivery.pieces[i] < size - sent ? delivery.pieces[i] : size - sent;
        if (sendAll(Link{peer_}, data + sent, static_cast<std::uint32_t>(piece)) != 0) break;
        sent += piece;
        std::this_thread::sleep_for(kPause);
    }
    if (!stopping_ && sent < size) {
        sendAll(Link{peer_}, data + sent, static_cast<std::uint32_t>(size - sent));
    }
    net::shutdownSend(peer_);
}

Selected select(const std::uint8_t* data, std::size_t size, unsigned choices) {
    Selected s;
    std::size_t used = 0;
    bool inPieces = false;
    if (size > used) {
        inPieces = (data[used] & kPiecesFlag) != 0;
        s.choice = (data[used] & ~unsigned{kPiecesFlag}) % choices;
        ++used;
    }
    if (size > used) s.option = data[used++];
    if (inPieces && size > used) {
        const unsigned wanted = data[used++] % (Delivery::kMaxPieces + 1);
        for (; s.delivery.count < wanted && size - used >= 2; used += 2) {
            s.delivery.pieces[s.delivery.count++] = 1 + (data[used] | (data[used + 1] << 8));
        }
    }
    s.data = data + used;
    s.size = size - used;
    return s;
}

}  // namespace kelo::fuzz
