/* SPDX-License-Identifier: Apache-2.0 */
// A read-only look at one received profile, whatever the record size.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kelo_dll.h"

namespace kelo::cli {

// How the tool reads a point's three values (the emulator sends x across
// the line, z height, then the intensity): the scanner defines them.
inline constexpr int kAcrossValue = 0;
inline constexpr int kHeightValue = 1;
inline constexpr int kIntensityValue = 2;

struct ProfileView {
    const std::int32_t* header = nullptr;   // KELO_PROFILE_HEADER_VALUES values
    const std::int32_t (*points)[3] = nullptr;
    std::int32_t pointCount = 0;            // already limited to the record's room
    const void* raw = nullptr;              // the whole record, host order
    std::size_t rawSize = 0;

    template <typename Record>
    static ProfileView of(const Record& record) {
        constexpr auto room = static_cast<std::int32_t>(sizeof record.points / sizeof record.points[0]);
        ProfileView view;
        view.header = record.header;
        view.points = record.points;
        view.pointCount = record.pointCount < 0 ? 0 : record.pointCount > room ? room : record.pointCount;
        view.raw = &record;
        view.rawSize = sizeof record;
        return view;
    }
};

}  // namespace kelo::cli
