// SPDX-License-Identifier: Apache-2.0
#include "emulator/replay/replay_program.h"

#include <cstdio>

#include "emulator/replay/replay_server.h"

namespace kelo::replay {

int runReplay(const ReplayOptions& options, const std::atomic<bool>& stop) {
    Recording recording;
    std::string error;
    if (!loadRecording(options.file, options.session, &recording, &error)) {
        std::fprintf(stderr, "kelo-scanner-emulator: %s\n", error.c_str());
        return 1;
    }
    for (const std::string& note : recording.notes)
        std::fprintf(stderr, "kelo-scanner-emulator: %s: %s\n", options.file.c_str(), note.c_str());
    ReplayServer server(recording, [](const std::string& line) {
        std::fprintf(stderr, "[replay] %s\n", line.c_str());
    });
    if (!server.start(options.bindAddress, options.port)) {
        std::fprintf(stderr, "kelo-scanner-emulator: cannot listen on %s:%u\n",
                     options.bindAddress.c_str(), options.port);
        return 1;
    }
    std::printf(
        "kelo-scanner-emulator: replaying session %zu (%s, %zu commands) of %s, "
        "listening on %s:%u\n",
        options.session, recording.peers.c_str(), recording.exchanges.size(), options.file.c_str(),
        options.bindAddress.c_str(), options.port);
    std::fflush(stdout);
    for (long tick = 0; !stop && (options.seconds < 0 || tick < options.seconds * 10); ++tick) {
        net::sleepMilliseconds(100);
    }
    server.stop();
    return 0;
}

}  // namespace kelo::replay
