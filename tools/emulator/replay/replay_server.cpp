// SPDX-License-Identifier: Apache-2.0
#include "emulator/replay/replay_server.h"

#include <algorithm>
#include <cstdio>

#include "core/wire.h"
#include "emulator/replay/protocol_framing.h"

namespace kelo::replay {
namespace {

constexpr long kPollMicroseconds = 100000;
// Commands carry at most a firmware image; anything larger is a broken peer.
constexpr std::uint64_t kMaxCommandPayload = 64u * 1024u * 1024u;
// Bytes of each command shown when it differs from the recording.
constexpr std::size_t kShownBytes = 256;

std::string hexBytes(const Bytes& bytes) {
    std::string text;
    char piece[4];
    const std::size_t shown = std::min(bytes.size(), kShownBytes);
    for (std::size_t i = 0; i < shown; ++i) {
        std::snprintf(piece, sizeof piece, i ? " %02X" : "%02X", bytes[i]);
        text += piece;
    }
    if (shown < bytes.size()) text += " ... (" + std::to_string(bytes.size()) + " bytes)";
    return text;
}

std::size_t firstDifference(const Bytes& a, const Bytes& b) {
    return static_cast<std::size_t>(
        std::mismatch(a.begin(),
                      a.begin() + static_cast<std::ptrdiff_t>(std::min(a.size(), b.size())),
                      b.begin())
            .first -
        a.begin());
}

}  // namespace

ReplayServer::ReplayServer(Recording recording, Log log)
    : recording_(std::move(recording)), log_(std::move(log)) {}

ReplayServer::~ReplayServer() { stop(); }

bool ReplayServer::start(const std::string& bindAddress, std::uint16_t port) {
    std::uint32_t address = 0;
    if (thread_.joinable() || !net::parseDottedAddress(bindAddress.c_str(), &address)) return false;
    listener_ = net::listenTcp(address, port, 4);
    if (listener_ == net::kInvalidSocket) return false;
    stopping_ = false;
    thread_ = std::thread([this] { run(); });
    return true;
}

void ReplayServer::stop() {
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
    if (listener_ != net::kInvalidSocket) net::closeSocket(listener_);
    listener_ = net::kInvalidSocket;
}

void ReplayServer::run() {
    while (!stopping_) {
        const net::WaitResult wait = net::waitSocket(listener_, true, false, 0, kPollMicroseconds);
        if (wait.ready <= 0 || !wait.readable) continue;
        const net::Socket client = net::acceptConnection(listener_);
        if (client == net::kInvalidSocket) continue;
        net::setNoDelay(client);
        net::setNonBlocking(client, true);
        serve(client);
        net::closeSocket(client);
        ++served_;
    }
}

void ReplayServer::serve(net::Socket client) {
    std::size_t next = 0;
    std::uint8_t header[kHeaderSize];
    while (receive(client, header, sizeof header)) {
        const std::uint32_t code = wire::getWord(header);
        const std::uint64_t payloadSize = commandPayloadSize(code, wire::getWord(header + 4));
        if (payloadSize > kMaxCommandPayload) {
            log_("command " + std::to_string(code) + " announces an impossible payload; closing");
            return;
        }
        Bytes command(header, header + kHeaderSize);
        command.resize(kHeaderSize + static_cast<std::size_t>(payloadSize));
        if (!receive(client, command.data() + kHeaderSize, command.size() - kHeaderSize)) return;
        if (next == recording_.exchanges.size()) {
            log_("command " + std::to_string(code) +
                 " comes after the last recorded one; closing\n  received: " + hexBytes(command));
            return;
        }
        const Exchange& recorded = recording_.exchanges[next++];
        if (command != recorded.command) {
            const bool sameCode = recorded.command.size() >= wire::kWordSize &&
                                  wire::getWord(recorded.command.data()) == code;
            log_("command " + std::to_string(next) + " (code " + std::to_string(code) +
                 ") differs from the recording at byte " +
                 std::to_string(firstDifference(recorded.command, command)) + "\n  recorded: " +
                 hexBytes(recorded.command) + "\n  received: " + hexBytes(command) +
                 (sameCode ? "\n  same code: answered from the recording"
                           : "\n  other code: closing"));
            if (!sameCode) return;
        }
        if (!send(client, recorded.answers)) return;
    }
}

bool ReplayServer::receive(net::Socket client, std::uint8_t* destination, std::size_t length) {
    std::size_t done = 0;
    while (done < length) {
        if (stopping_) return false;
        const net::WaitResult wait = net::waitSocket(client, true, false, 0, kPollMicroseconds);
        if (wait.ready < 0) return false;
        if (wait.ready == 0) continue;
        const long got = net::receiveBytes(client, destination + done, length - done);
        if (got < 0 && net::lastError() == net::kErrorWouldBlock) continue;
        if (got <= 0) return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

// The socket does not block, so a client that stops reading cannot hold stop().
bool ReplayServer::send(net::Socket client, const Bytes& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        if (stopping_) return false;
        const long result = net::sendBytes(client, bytes.data() + sent, bytes.size() - sent);
        if (result < 0 && net::lastError() == net::kErrorWouldBlock) {
            net::waitSocket(client, false, true, 0, kPollMicroseconds);
            continue;
        }
        if (result <= 0) return false;
        sent += static_cast<std::size_t>(result);
    }
    return true;
}

}  // namespace kelo::replay
