/* SPDX-License-Identifier: Apache-2.0 */
// What the application saw of each injected fault: the failures it was
// given while the fault lasted or just after, and whether they carried the
// failure code that fault causes.
#pragma once

#include <cstdint>

#include "fault_schedule.h"

namespace soak {

// Failures this long after a fault ended are still its consequences: a
// silence is noticed one read time-out late, a reconnection takes a pause.
inline constexpr double kAftermath = 3.0;

// A failure the application was given: a kelo::Error.
struct FailureSeen {
    double at = 0;
    std::int32_t failure = 0;  // KELO_FAILURE_
    std::int32_t detail = 0;
    std::int32_t socketError = 0;
    bool connect = false;  // opening the connection failed
};

// Whether a failure is what the fault causes: a time-out for silence, a
// closed connection for a short answer, a drop or a restart (or a refused
// connect while the scanner is down), the answer type for a wrong type,
// too long for a huge length.
bool isOwnReport(FaultKind kind, const FailureSeen& seen);

struct FaultRecord {
    FaultKind kind = FaultKind::Silent;
    double begun = -1;  // -1: not (yet) injected
    double ended = -1;
    std::uint32_t reported = 0;      // failures with the fault's own code
    std::uint32_t otherReports = 0;  // failures with another code
    FailureSeen firstOther;
    std::uint64_t profilesAtBegin = 0;
    std::uint64_t profilesAtEnd = 0;
};

}  // namespace soak
