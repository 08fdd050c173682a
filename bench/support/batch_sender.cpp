// SPDX-License-Identifier: Apache-2.0
#include "support/batch_sender.h"

#include <cstdio>

#include "core/command_codes.h"
#include "core/wire.h"
#include "emulator/profile_generator.h"
#include "kelo_dll.h"

namespace kelo::bench {
namespace {

void appendProfile(emu::Bytes& out, std::uint32_t sequence) {
    emu::ScannerConfig config;
    config.pointsPerProfile = KELO_PROFILE_MAX_POINTS;
    emu::ProfileStamp stamp;
    stamp.sequence = sequence;
    stamp.timestampMicros = sequence * 500;
    stamp.mode = emu::SyncMode::Time;
    emu::appendProfileAnswer(out, config, stamp);
}

// The accept loop looks at the stop flag this often.
constexpr long kAcceptPollMicros = 100000;

}  // namespace

emu::Bytes buildBatch() {
    emu::Bytes payload;
    emu::appendWord(payload, kProfilesPerBatch);
    for (std::uint32_t i = 0; i < kProfilesPerBatch; ++i) appendProfile(payload, i);
    return emu::answerBytes(kAnswerProfileBatch, payload);
}

emu::Bytes buildSingle() {
    emu::Bytes answer;
    appendProfile(answer, 1);
    return answer;
}

net::Socket listenOnScannerPort(const char* program, const char* address) {
    std::uint32_t binary = 0;
    const net::Socket listener = net::parseDottedAddress(address, &binary)
                                     ? net::listenTcp(binary, KELO_SCANNER_TCP_PORT, 4)
                                     : net::kInvalidSocket;
    if (listener == net::kInvalidSocket)
        std::fprintf(stderr, "%s: cannot listen on %s\n", program, address);
    return listener;
}

bool sendAllRaw(net::Socket s, const std::uint8_t* data, std::size_t length) {
    while (length > 0) {
        const long sent = net::sendBytes(s, data, length);
        if (sent <= 0) return false;
        data += sent;
        length -= static_cast<std::size_t>(sent);
    }
    return true;
}

bool readAllRaw(net::Socket s, std::uint8_t* data, std::size_t length) {
    while (length > 0) {
        const long got = net::receiveBytes(s, data, length);
        if (got <= 0) return false;
        data += got;
        length -= static_cast<std::size_t>(got);
    }
    return true;
}

void serveConnection(net::Socket client, const emu::Bytes& batch, const emu::Bytes& single) {
    std::uint8_t header[wire::kHeaderSize];
    std::uint8_t payload[64];
    while (readAllRaw(client, header, sizeof header)) {
        const std::uint32_t code = wire::getWord(header);
        const std::uint32_t length = wire::getWord(header + 4);
        if (length > sizeof payload || !readAllRaw(client, payload, length)) return;
        if (code == kCmdClose) return;
        const emu::Bytes* answer = code == kCmdMultipleProfileRequest ? &batch
                                   : code == kCmdProfileRequest       ? &single
                                                                      : nullptr;
        if (answer != nullptr && !sendAllRaw(client, answer->data(), answer->size())) return;
    }
}

Sender::Sender(net::Socket listener, const emu::Bytes& batch, const emu::Bytes& single)
    : listener_(listener), batch_(batch), single_(single) {
    thread_ = std::thread([this] { run(); });
}

Sender::~Sender() {
    stop_ = true;
    thread_.join();
}

void Sender::run() {
    while (!stop_) {
        const net::WaitResult wait = net::waitSocket(listener_, true, false, 0, kAcceptPollMicros);
        if (wait.ready <= 0) continue;
        const net::Socket client = net::acceptConnection(listener_);
        if (client == net::kInvalidSocket) continue;
        net::setNoDelay(client);
        serveConnection(client, batch_, single_);
        net::closeSocket(client);
    }
}

}  // namespace kelo::bench
