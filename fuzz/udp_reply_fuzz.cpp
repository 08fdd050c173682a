// Discovery replies: datagrams taken from the input arrive on the reply
// socket before collecting starts, and are collected into an array exactly
// as large as the capacity. Input after the selector bytes: datagrams, each
// a 2-byte little-endian length (at most 600, so oversized datagrams occur)
// followed by that many bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "core/socket_layer.h"
#include "discovery/discovery.h"
#include "fed_connection.h"

namespace {

constexpr std::size_t kMaxDatagram = 600;
constexpr unsigned kMaxDatagrams = 64;
// Everything was sent before collecting starts, so a short limit ends the
// quiet wait quickly without losing datagrams.
constexpr unsigned kCollectMilliseconds = 2;

std::uint32_t loopback() {
    std::uint32_t address = 0;
    if (!kelo::net::parseDottedAddress("127.0.0.1", &address)) std::abort();
    return address;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kelo;
    static const net::Socket sender = net::openUdpSocket();
    static const std::uint32_t address = loopback();
    const auto input = fuzz::select(data, size, 1);

    net::Socket reply = net::kInvalidSocket;
    const int port = discovery::openReplySocket(&reply);
    if (port < 0) return 0;
    const std::uint8_t* p = input.data;
    std::size_t left = input.size;
    for (unsigned n = 0; n < kMaxDatagrams && left >= 2; ++n) {
        std::size_t length = (p[0] | (p[1] << 8)) % (kMaxDatagram + 1);
        p += 2;
        left -= 2;
        if (length > left) length = left;
        net::sendTo(sender, p, length, address, static_cast<std::uint16_t>(port));
        p += length;
        left -= length;
    }
    const std::uint32_t capacity = 1 + input.option % 8;
    std::unique_ptr<ScannerInfo[]> records(new ScannerInfo[capacity]);
    discovery::collectReplies(reply, records.get(), capacity, kCollectMilliseconds);
    net::closeSocket(reply);
    return 0;
}
