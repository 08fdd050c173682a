/* SPDX-License-Identifier: Apache-2.0 */
// Ctrl-C (and SIGTERM) in kelo. Each command runs on a thread of its own
// while the main thread watches for the signal. A command that has nothing
// to clean up ends at once. One that stops by itself (grab, view) sees
// interrupted(), ends within kStopWithin and may take kLeaveWithin more to
// leave sync mode; past that, or at a second Ctrl-C, the process ends at
// once. Either way "interrupted" is said, and the exit status is 130.
#pragma once

#include <chrono>

namespace kelo::cli {

inline constexpr std::chrono::milliseconds kStopWithin{1000};
inline constexpr std::chrono::milliseconds kLeaveWithin{1000};

// Runs the command; its exit status.
int runInterruptible(const char* command, int (*run)(int argc, char** argv), int argc, char** argv);

bool interrupted();
// From here on the command stops by itself after Ctrl-C.
void stopsByItself();

// While one lives, the command is leaving sync mode: after Ctrl-C it has
// kLeaveWithin from the start of the oldest one (or from the Ctrl-C).
class LeavingSync {
public:
    LeavingSync();
    ~LeavingSync();
    LeavingSync(const LeavingSync&) = delete;
    LeavingSync& operator=(const LeavingSync&) = delete;
};

}  // namespace kelo::cli
