/* SPDX-License-Identifier: Apache-2.0 */
// Command 55, the position calibration history: request and answer.
#pragma once

#include <array>
#include <cstdint>

#include "core/transport.h"
#include "core/wire.h"
#include "kelo_dll/calibration.h"

namespace kelo {

// The request announces a payload of 4 bytes but carries two words; the
// scanner reads it that way, so the length word stays 4.
inline constexpr std::uint32_t kOldPositionAnnouncedLength = 4;
using OldPositionRequest = std::array<std::uint8_t, wire::kHeaderSize + 2 * wire::kWordSize>;
OldPositionRequest buildOldPositionRequest(std::uint32_t laserIndex, std::uint32_t requestWord);

// Reads the answer: header, signed count c, then c entries. At most
// capacity entries are written to entries; further ones are read and
// dropped so that the connection stays in step. Gives c when c < 1, else
// the number written, or -1 when a piece cannot be received.
std::int32_t readOldPositionAnswer(Link link, OldPositionCalibration* entries,
                                   std::uint32_t capacity);

}  // namespace kelo
