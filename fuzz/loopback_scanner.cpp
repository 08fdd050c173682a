// SPDX-License-Identifier: Apache-2.0
#include "loopback_scanner.h"

#include <chrono>
#include <cstdlib>
#include <cstring>

#include "kelo_dll/discovery.h"

namespace kelo::fuzz {
namespace {

constexpr std::size_t kMaxDatagram = 600;
// Few enough that they all fit the reply socket's buffer before it is read.
constexpr std::size_t kMaxDatagrams = 32;
// Replies after the input's: more than enough to fill the library's largest
// array even when the socket drops some.
constexpr unsigned kMaxFloodReplies = 8 * KELO_VB_SCRATCH_CAPACITY;
constexpr std::uint32_t kFloodIdentities = 0xF0000000u;
// A short rest after each burst lets the library keep up instead of the
// socket dropping most of the flood.
constexpr unsigned kBurst = 32;
constexpr auto kRest = std::chrono::microseconds(200);
constexpr auto kRequestWait = std::chrono::seconds(2);
constexpr long kPollMicroseconds = 10000;
// The scanner listens on the first, the library sends from the second
// (discovery never sends from 127.0.0.1).
constexpr const char* kScannerAddress = "127.0.0.1";
constexpr const char* kLibraryAddress = "127.0.0.2";

std::uint32_t address(const char* text) {
    std::uint32_t value = 0;
    if (!net::parseDottedAddress(text, &value)) std::abort();
    return value;
}

}  // namespace

std::vector<Datagram> splitDatagrams(const std::uint8_t* data, std::size_t size) {
    std::vector<Datagram> datagrams;
    while (datagrams.size() < kMaxDatagrams && size >= 2) {
        std::size_t length = (data[0] | (data[1] << 8)) % (kMaxDatagram + 1);
        data += 2;
        size -= 2;
        if (length > size) length = size;
        datagrams.push_back({data, length});
        data += length;
        size -= length;
    }
    return datagrams;
}

std::vector<udp::Message> acceptedReplies(const std::vector<Datagram>& datagrams) {
    std::vector<udp::Message> accepted;
    for (const Datagram& d : datagrams) {
        udp::Message m{};
        std::memcpy(m.data(), d.bytes, d.length < m.size() ? d.length : m.size());
        if (!udp::hasHeader(m, udp::kDiscoveryReply)) continue;
        bool seen = false;
        for (const udp::Message& a : accepted) {
            seen = seen || udp::replyIdentity(a) == udp::replyIdentity(m);
        }
        if (!seen) accepted.push_back(m);
    }
    return accepted;
}

LoopbackScanner::LoopbackScanner(std::vector<Datagram> datagrams)
    : datagrams_(std::move(datagrams)) {
    socket_ = net::openUdpSocket();
    if (socket_ == net::kInvalidSocket) return;
    if (net::bindSocket(socket_, address(kScannerAddress), 0) != 0) {
        net::closeSocket(socket_);
        socket_ = net::kInvalidSocket;
        return;
    }
    discovery::BroadcastRoute route;
    route.localAddresses = {address(kLibraryAddress)};
    route.destination = address(kScannerAddress);
    route.port = net::boundPort(socket_);
    route_ = std::make_unique<discovery::ScopedBroadcastRoute>(std::move(route));
    player_ = std::thread(&LoopbackScanner::play, this);
}

LoopbackScanner::~LoopbackScanner() {
    stop();
    route_.reset();
    if (socket_ != net::kInvalidSocket) net::closeSocket(socket_);
}

void LoopbackScanner::stop() {
    stopping_ = true;
    if (player_.joinable()) player_.join();
}

void LoopbackScanner::play() {
    const auto end = std::chrono::steady_clock::now() + kRequestWait;
    for (;;) {
        if (stopping_ || std::chrono::steady_clock::now() > end) return;
        const net::WaitResult ready = net::waitSocket(socket_, true, false, 0, kPollMicroseconds);
        if (ready.ready > 0 && ready.readable) break;
    }
    if (net::receiveFrom(socket_, request_.data(), request_.size(), nullptr, nullptr) < 0) return;
    requested_ = true;
    const std::uint16_t port = udp::requestReplyPort(request_);
    // The reply socket listens on every local address.
    const std::uint32_t replyTo = address(kScannerAddress);
    for (const Datagram& d : datagrams_) net::sendTo(socket_, d.bytes, d.length, replyTo, port);

    udp::Message reply{};
    std::uint8_t record[udp::kRecordSize] = {};
    for (unsigned n = 0; n < kMaxFloodReplies && !stopping_; ++n) {
        udp::putLe32(record + (udp::kIdentityOffset - udp::kRecordOffset), kFloodIdentities + n);
        udp::buildDiscoveryReply(reply, record);
        net::sendTo(socket_, reply.data(), reply.size(), replyTo, port);
        if (n % kBurst == kBurst - 1) std::this_thread::sleep_for(kRest);
    }
}

}  // namespace kelo::fuzz
