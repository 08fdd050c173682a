/* SPDX-License-Identifier: Apache-2.0 */
// The calibration upload messages, built whole so that each leaves in one send.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kelo {

inline constexpr std::uint32_t kCalibrationTrailer = 0xAAAAAAAAu;
inline constexpr int kIntrinsicValues = 14;

// Command 42: laser index, fourteen counted number texts, trailer.
std::vector<std::uint8_t> buildIntrinsicCalibration(std::uint32_t laserIndex,
                                                    const double (&values)[kIntrinsicValues]);

// Command 41: laser index, three counted number texts, the counted date line.
std::vector<std::uint8_t> buildPositionCalibration(std::uint32_t laserIndex,
                                                   const double (&values)[3],
                                                   const std::string& dateLine);

}  // namespace kelo
