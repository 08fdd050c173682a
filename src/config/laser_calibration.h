/* SPDX-License-Identifier: Apache-2.0 */
// One laser's calibration as the connection keeps it.
#pragma once

#include <cstdint>

namespace kelo {

inline constexpr int kPositionValues = 3;
inline constexpr int kTransformValues = 14;
inline constexpr int kScanWindowValues = 4;

struct LaserCalibration {
    double positionCalibration[kPositionValues] = {};
    double transformParameters[kTransformValues] = {};
    std::int32_t spareWord = 0;
    std::int32_t laserCount = 0;
    double scanWindow[kScanWindowValues] = {};
};

}  // namespace kelo
