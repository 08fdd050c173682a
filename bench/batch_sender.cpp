// A stand-in scanner for throughput runs of other readers (the Python
// stream's benchmark): answers every command 38 with one pre-built batch of
// 100 profiles of 243 points, as profile_read_bench's sender does, and
// nothing else; serves one connection after another until killed.
//
// usage: batch_sender ADDRESS
#include <cstdio>
#include <cstdint>

#include "core/command_codes.h"
#include "core/socket_layer.h"
#include "core/wire.h"
#include "emulator/emulator.h"
#include "emulator/profile_generator.h"
#include "kelo_dll.h"

namespace {

constexpr std::uint32_t kProfilesPerBatch = 100;

kelo::emu::Bytes buildBatch() {
    kelo::emu::ScannerConfig config;
    config.pointsPerProfile = KELO_PROFILE_MAX_POINTS;
    kelo::emu::Bytes payload;
    kelo::emu::appendWord(payload, kProfilesPerBatch);
    for (std::uint32_t i = 0; i < kProfilesPerBatch; ++i) {
        kelo::emu::ProfileStamp stamp;
        stamp.sequence = i;
        stamp.mode = kelo::emu::SyncMode::Time;
        kelo::emu::appendProfileAnswer(payload, config, stamp);
    }
    return kelo::emu::answerBytes(kelo::kAnswerProfileBatch, payload);
}

bool transfer(kelo::net::Socket s, std::uint8_t* data, std::size_t length, bool send) {
    while (length > 0) {
        const long done = send ? kelo::net::sendBytes(s, data, length)
                               : kelo::net::receiveBytes(s, data, length);
        if (done <= 0) return false;
        data += done;
        length -= static_cast<std::size_t>(done);
    }
    return true;
}

void serve(kelo::net::Socket client, kelo::emu::Bytes& batch) {
    std::uint8_t header[kelo::wire::kHeaderSize];
    std::uint8_t payload[64];
    while (transfer(client, header, sizeof header, false)) {
        const std::uint32_t code = kelo::wire::getWord(header);
        const std::uint32_t length = kelo::wire::getWord(header + 4);
        if (length > sizeof payload || !transfer(client, payload, length, false)) return;
        if (code == kelo::kCmdClose) return;
        if (code == kelo::kCmdMultipleProfileRequest &&
            !transfer(client, batch.data(), batch.size(), true)) {
            return;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::uint32_t address = 0;
    if (argc != 2 || !kelo::net::startup() || !kelo::net::parseDottedAddress(argv[1], &address)) {
        std::fprintf(stderr, "usage: batch_sender ADDRESS\n");
        return 2;
    }
    const kelo::net::Socket listener = kelo::net::listenTcp(address, KELO_SCANNER_TCP_PORT, 4);
    if (listener == kelo::net::kInvalidSocket) {
        std::fprintf(stderr, "batch_sender: cannot listen on %s\n", argv[1]);
        return 1;
    }
    kelo::emu::Bytes batch = buildBatch();
    std::printf("batch_sender: listening on %s\n", argv[1]);
    std::fflush(stdout);
    for (;;) {
        const kelo::net::Socket client = kelo::net::acceptConnection(listener);
        if (client == kelo::net::kInvalidSocket) continue;
        kelo::net::setNoDelay(client);
        serve(client, batch);
        kelo::net::closeSocket(client);
    }
}
