/* SPDX-License-Identifier: Apache-2.0 */
// The connection's per-laser calibration store and the exchange that fills it.
#pragma once

#include <cstdint>

struct ScannerConnection;

namespace kelo {

// The lasers lpRetrieveCalibrationValues fetches, in order; a scanner that
// reports more lasers than this table holds gets only these fetched.
inline constexpr std::uint32_t kLaserIndexTable[] = {0, 1, 2};
inline constexpr std::int32_t kLaserIndexTableSize =
    static_cast<std::int32_t>(sizeof kLaserIndexTable / sizeof kLaserIndexTable[0]);

// One command 47 exchange into the store's entry for laserIndex (created
// zero-filled once the answer header has arrived; fields are stored as they
// arrive). 0 or -1.
int retrieveLaserCalibration(ScannerConnection& connection, std::int32_t laserIndex);

}  // namespace kelo
