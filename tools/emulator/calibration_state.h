/* SPDX-License-Identifier: Apache-2.0 */
// The simulated scanner's calibrations: per laser its position values,
// transform parameters (set by intrinsic uploads), spare word and scan
// window, and the history of position uploads.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "emulator/emulator.h"

namespace kelo::emu {

struct EmulatedLaserCalibration {
    double position[3] = {};
    std::string positionText;  // date line of the upload that set position
    double transform[14] = {};
    std::int32_t spareWord = 0;
    std::int32_t scanWindow[4] = {};  // thousandths, in wire order
};

struct PositionHistoryEntry {
    double position[3] = {};
    std::string text;
};

struct CalibrationState {
    // Most recent first; the oldest are dropped beyond this.
    static constexpr std::size_t kHistoryLimit = 32;

    std::mutex mutex;
    std::map<std::uint32_t, EmulatedLaserCalibration> lasers;
    std::map<std::uint32_t, std::vector<PositionHistoryEntry>> history;

    // The laser's record, created with factory values on first use.
    // Callers hold mutex.
    EmulatedLaserCalibration& laser(std::uint32_t index);
};

// Command 55 carries one more payload word than its header announces; a
// handler for it (built-in or a test's) reads that word with this.
bool readOldPositionRequestWord(Session& session, std::uint32_t* requestWord);

// "%.10g", as the scanner writes its numbers.
std::string calibrationText(double value);

}  // namespace kelo::emu
