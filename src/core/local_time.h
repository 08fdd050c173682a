/* SPDX-License-Identifier: Apache-2.0 */
// Wall-clock time and its local calendar form, in 64-bit seconds on every
// platform, so dates after January 2038 convert in the 32-bit DLL too.
#pragma once

#include <cstdint>
#include <ctime>

namespace kelo::platform {

// Seconds since 1970-01-01 00:00 UTC.
std::int64_t currentTime();

// The local calendar time of those seconds, in the process's time zone;
// false when the runtime cannot convert them.
bool localTime(std::int64_t seconds, std::tm* local);

}  // namespace kelo::platform
