// SPDX-License-Identifier: Apache-2.0
#include "fault_schedule.h"

#include <algorithm>
#include <random>

namespace soak {
namespace {

// Normal operation between faults, and the length of a fault, in seconds.
// A fault lasts long enough for the application to meet it: a silent
// scanner swallows every request in flight and is noticed as silence.
constexpr double kNormalShortest = 2.0;
constexpr double kNormalLongest = 6.0;
constexpr double kFaultShortest = 1.0;
constexpr double kFaultLongest = 3.0;

// Uniform in [low, high), from the generator's bits alone, so that the
// schedule does not depend on the standard library's distributions.
double uniform(std::mt19937_64& bits, double low, double high) {
    return low + (high - low) * static_cast<double>(bits() >> 11) * 0x1.0p-53;
}

}  // namespace

const char* faultName(FaultKind kind) {
    switch (kind) {
        case FaultKind::Silent: return "silent";
        case FaultKind::Short: return "short";
        case FaultKind::WrongType: return "wrong-type";
        case FaultKind::HugeLength: return "huge-length";
        case FaultKind::Drop: return "drop";
        case FaultKind::Restart: return "restart";
    }
    return "?";
}

std::vector<Episode> makeSchedule(std::uint64_t seed, const ScheduleShape& shape) {
    std::vector<Episode> episodes;
    const double calmFrom = shape.calmAt - kCalmLead;
    const double calmTo = shape.calmAt + kCalmHold;
    for (std::size_t scanner = 0; scanner < shape.scanners; ++scanner) {
        std::mt19937_64 bits(seed * 0x9E3779B97F4A7C15ull + scanner);
        double at = uniform(bits, kNormalShortest, kNormalLongest);
        for (;;) {
            const double length = uniform(bits, kFaultShortest, kFaultLongest);
            const FaultKind kind = kFaultKinds[bits() % kFaultKindCount];
            if (at + length > shape.seconds - kQuietEnd) break;
            if (at + length > calmFrom && at < calmTo) {
                at = calmTo + uniform(bits, 0, kNormalShortest);
                continue;
            }
            episodes.push_back(Episode{scanner, at, length, kind});
            at += length + uniform(bits, kNormalShortest, kNormalLongest);
        }
    }
    std::sort(episodes.begin(), episodes.end(),
              [](const Episode& a, const Episode& b) { return a.start < b.start; });
    return episodes;
}

}  // namespace soak
