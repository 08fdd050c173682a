/* SPDX-License-Identifier: Apache-2.0 */
// The emulator's status list and the descriptions of its items.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "emulator/emulator.h"

namespace kelo::emu {

// Keys of the emulator's status list; each also names a description.
enum StatusKey : std::uint32_t {
    kStatusSerialNumber = 0,
    kStatusFirmwareVersion = 1,
    kStatusTemperatureMilliC = 2,
    kStatusUptimeSeconds = 3,
    kStatusLaserCount = 4,
    kStatusErrorFlags = 5,
    kStatusProfileRateMilliHz = 6,
    kStatusSupplyMillivolts = 7,
    kStatusKeyCount = 8,
};

inline constexpr std::uint32_t kEmulatorFirmwareVersion = 577;

struct StatusState {
    std::mutex mutex;
    // Extra pairs appended to the list as they stand (tests use them for
    // repeated keys and odd values).
    std::vector<std::pair<std::uint32_t, std::uint32_t>> extraPairs;
};

// The list as the scanner reports it now, in the order of the answer.
std::vector<std::pair<std::uint32_t, std::uint32_t>> statusList(Emulator& emulator);
// The description of an item; unknown identifiers get a text saying so.
std::string statusDescription(std::uint32_t id);

}  // namespace kelo::emu
