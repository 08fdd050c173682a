/* SPDX-License-Identifier: Apache-2.0 */
// kelo-scanner-emulator --replay: loads a capture and serves the recorded
// session until the time is up or the stop flag is raised.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace kelo::replay {

struct ReplayOptions {
    std::string file;
    std::size_t session = 1;
    std::string bindAddress;
    std::uint16_t port = 0;
    long seconds = -1;  // run until stopped
};

// The program's exit status.
int runReplay(const ReplayOptions& options, const std::atomic<bool>& stop);

}  // namespace kelo::replay
