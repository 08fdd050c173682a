/* SPDX-License-Identifier: Apache-2.0 */
// One kelo-scanner-emulator process, driven through its control channel
// (its standard input): started with a stamp mark, switched between fault
// modes, killed and started again on the same address.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace soak {

class EmulatorProcess {
public:
    // arguments: everything but --control and --stamp, which start() adds.
    EmulatorProcess(std::string program, std::vector<std::string> arguments);
    EmulatorProcess(const EmulatorProcess&) = delete;
    EmulatorProcess& operator=(const EmulatorProcess&) = delete;
    ~EmulatorProcess();

    // Starts the process, its profiles stamped with mark. False when it
    // could not be started.
    bool start(std::uint32_t mark);
    // Sends one control line ("fault silent"); false when it is not running.
    bool command(const std::string& line);
    // Kills it (SIGKILL), as a power cut would, and reaps it.
    void kill();
    // Ends its input, so that it stops; killed when it has not within 5 s.
    // False when it did not end by itself with status 0 (or was not running).
    bool stop();
    // Whether it ended without being asked to; reaps it then.
    bool ended();
    bool running() const { return pid_ > 0; }

private:
    void closeControl();

    std::string program_;
    std::vector<std::string> arguments_;
    pid_t pid_ = -1;
    int control_ = -1;
};

}  // namespace soak
