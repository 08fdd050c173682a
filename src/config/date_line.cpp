// SPDX-License-Identifier: Apache-2.0
#include "config/date_line.h"

#include <cstdio>

#include "core/local_time.h"

namespace kelo {
namespace {

const char* const kMonthNames[12] = {"January", "February", "March",     "April",
                                     "May",     "June",     "July",      "August",
                                     "September", "October", "November", "December"};

// Keeps a field out of range (a broken tm) from indexing past the tables or
// widening the fixed-width fields.
int clamp(int value, int low, int high) { return value < low ? low : value > high ? high : value; }

}  // namespace

std::string formatDateLine(const std::tm& local) {
    const int month = clamp(local.tm_mon, 0, 11);
    const int day = clamp(local.tm_mday, 1, 31);
    const int year = clamp(local.tm_year + 1900, 0, 9999);
    const int hour24 = clamp(local.tm_hour, 0, 23);
    const int minute = clamp(local.tm_min, 0, 59);
    const int hour12 = hour24 % 12 == 0 ? 12 : hour24 % 12;
    char buffer[64] = {};
    std::snprintf(buffer, sizeof buffer, "Date:.....%s %02d %04d %02d:%02d %s", kMonthNames[month],
                  day, year, hour12, minute, hour24 < 12 ? "AM" : "PM");
    return buffer;
}

std::string dateLineAt(std::int64_t seconds) {
    std::tm local{};
    if (!platform::localTime(seconds, &local)) return formatDateLine(std::tm{});
    return formatDateLine(local);
}

std::string currentDateLine() { return dateLineAt(platform::currentTime()); }

}  // namespace kelo
