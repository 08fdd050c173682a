/* SPDX-License-Identifier: Apache-2.0 */
// The soak's command line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "collector.h"

namespace soak {

struct Options {
    double seconds = 60;
    std::uint64_t seed = 1;
    std::size_t scanners = 8;
    double rateHz = 500;
    std::string emulator;       // default: beside this program
    std::string firstAddress;   // default: 127.26.P.1, P from the process id
    std::uint32_t port = KELO_SCANNER_TCP_PORT;
    std::vector<Target> targets;  // --scanner, or the emulators
    bool emulated = false;        // the targets are emulators this soak starts
    double baselineAt = -1;     // default: after a minute, or a third of a shorter run
    long rssLimitKiB = 1024;
    bool plant = false;
    CollectorSettings collector;
};

// Parses the command line; false (after saying why, or after the help)
// when the program should end with exitCode.
bool parseOptions(int argc, char** argv, Options* options, int* exitCode);

}  // namespace soak
