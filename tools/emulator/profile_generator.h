/* SPDX-License-Identifier: Apache-2.0 */
// Synthetic profiles of the simulated scanner: a surface line across the
// field of view with a slowly travelling bump and a little seeded noise.
#pragma once

#include <cstdint>

#include "emulator/emulator.h"
#include "emulator/profile_header.h"

namespace kelo::emu {

// How the profile was triggered (header word 4).
enum class SyncMode : std::uint32_t { Idle = 0, Time = 1, Encoder = 2, Pulse = 3 };

struct ProfileStamp {
    std::uint32_t laser = 0;
    std::uint32_t sequence = 0;
    std::uint32_t encoder = 0;
    std::uint64_t timestampMicros = 0;
    SyncMode mode = SyncMode::Idle;
};

// Field of view of the synthetic line, in micrometres.
inline constexpr std::int32_t kFieldHalfWidth = 50000;
inline constexpr std::int32_t kSurfaceDistance = 150000;

// The payload of one profile answer (type 0), big-endian: nine header
// values, the point count, three values (x, z, intensity) per point.
Bytes profilePayload(const ScannerConfig& config, const ProfileStamp& stamp);

// Appends a complete profile answer (header and payload) to out.
void appendProfileAnswer(Bytes& out, const ScannerConfig& config, const ProfileStamp& stamp);

}  // namespace kelo::emu
