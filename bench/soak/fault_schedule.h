/* SPDX-License-Identifier: Apache-2.0 */
// The seeded schedule of faults: for each scanner, episodes of one fault
// each, with normal operation between them, none in the calm windows (the
// resource baseline and the end of the run).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace soak {

enum class FaultKind { Silent, Short, WrongType, HugeLength, Drop, Restart };
inline constexpr FaultKind kFaultKinds[] = {FaultKind::Silent,     FaultKind::Short, FaultKind::WrongType,
                                            FaultKind::HugeLength, FaultKind::Drop,  FaultKind::Restart};
inline constexpr std::size_t kFaultKindCount = sizeof kFaultKinds / sizeof kFaultKinds[0];

// The emulator's name of the mode (--fault, its control channel); "restart"
// for a restart, which the plant makes itself.
const char* faultName(FaultKind kind);

struct Episode {
    std::size_t scanner;
    double start;   // seconds from the start of the run
    double length;  // seconds
    FaultKind kind;
};

struct ScheduleShape {
    double seconds;  // the run
    std::size_t scanners;
    double calmAt;  // where the resource baseline is taken
};

// Seconds without faults before the calm point and after it, and at the end.
inline constexpr double kCalmLead = 4.0;
inline constexpr double kCalmHold = 4.0;
inline constexpr double kQuietEnd = 5.0;

// Episodes sorted by start. The same seed and shape give the same schedule.
std::vector<Episode> makeSchedule(std::uint64_t seed, const ScheduleShape& shape);

}  // namespace soak
