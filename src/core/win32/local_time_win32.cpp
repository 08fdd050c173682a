// SPDX-License-Identifier: Apache-2.0
// The runtime's explicitly 64-bit functions: whatever time_t a header or a
// runtime chooses, the date line works after 2038.
#include <time.h>

#include "core/local_time.h"

namespace kelo::platform {

std::int64_t currentTime() { return static_cast<std::int64_t>(_time64(nullptr)); }

bool localTime(std::int64_t seconds, std::tm* local) {
    const __time64_t converted = seconds;
    return _localtime64_s(local, &converted) == 0;
}

}  // namespace kelo::platform
