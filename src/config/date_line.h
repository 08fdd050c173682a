/* SPDX-License-Identifier: Apache-2.0 */
// The date line that stamps a position calibration upload.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace kelo {

// "Date:.....%B %d %Y %I:%M %p" with the C locale's English month names and
// AM/PM, whatever locale the host process has set; at most 63 characters.
std::string formatDateLine(const std::tm& local);

// The date line for a moment in seconds since 1970 (UTC), in local time;
// the line of a zeroed time when the runtime cannot convert it.
std::string dateLineAt(std::int64_t seconds);

// The date line for the current local time.
std::string currentDateLine();

}  // namespace kelo
