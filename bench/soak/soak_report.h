/* SPDX-License-Identifier: Apache-2.0 */
// The soak's accounting: each injected fault against what the application
// was given, the profiles, the hangs and what grew; then the closing line.
#pragma once

#include <memory>
#include <vector>

#include "call_timer.h"
#include "collector.h"
#include "process_usage.h"

namespace soak {

struct RunFigures {
    bool emulated = true;  // faults injected, profiles stamped
    double seconds = 0;
    Usage baseline;
    Usage end;
    bool settledAtBaseline = true;
    bool settledAtEnd = true;
    int emulatorsFailed = 0;  // ended on their own, or not cleanly when stopped
    long rssLimitKiB = 0;
};

// Prints the accounting and the closing line; true when every target was met.
bool report(const std::vector<std::unique_ptr<Collector>>& collectors, const CallTimer& timer,
            const RunFigures& run);

}  // namespace soak
