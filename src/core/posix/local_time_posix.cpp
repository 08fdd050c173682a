// SPDX-License-Identifier: Apache-2.0
#include "core/local_time.h"

namespace kelo::platform {

std::int64_t currentTime() { return static_cast<std::int64_t>(std::time(nullptr)); }

bool localTime(std::int64_t seconds, std::tm* local) {
    const auto converted = static_cast<std::time_t>(seconds);
    // A 32-bit time_t cannot hold every value.
    if (static_cast<std::int64_t>(converted) != seconds) return false;
    return localtime_r(&converted, local) != nullptr;
}

}  // namespace kelo::platform
