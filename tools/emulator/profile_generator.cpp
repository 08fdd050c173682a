// SPDX-License-Identifier: Apache-2.0
#include "emulator/profile_generator.h"

#include <algorithm>
#include <cmath>

#include "core/command_codes.h"
#include "core/wire.h"
#include "kelo_dll/profiles.h"

namespace kelo::emu {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr std::int32_t kWaveAmplitude = 8000;
constexpr std::int32_t kBumpHeight = 12000;
constexpr double kBumpWidth = 6000.0;
constexpr double kBumpSpeed = 20000.0;      // micrometres per second
constexpr std::int32_t kNoiseAmplitude = 40; // micrometres either way
constexpr std::uint32_t kMaxIntensity = 1023;

// A small stateless mixer, so a profile depends only on seed and stamp.
std::uint64_t mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

int pointsOf(const ScannerConfig& config) {
    return std::clamp(config.pointsPerProfile, 0, KELO_LARGE_PROFILE_MAX_POINTS);
}

// Puts the checksum of every other word of the payload into its place.
void stampChecksum(Bytes& payload) {
    ProfileChecksum checksum;
    const std::size_t words = payload.size() / wire::kWordSize;
    for (std::size_t i = 0; i < words; ++i) {
        if (i != kHeaderChecksum) checksum.add(wire::getWord(payload.data() + i * wire::kWordSize));
    }
    wire::putWord(payload.data() + kHeaderChecksum * wire::kWordSize, checksum.value());
}

}  // namespace

Bytes profilePayload(const ScannerConfig& config, const ProfileStamp& stamp) {
    const int points = pointsOf(config);
    Bytes out;
    out.reserve((KELO_PROFILE_HEADER_VALUES + 1 + 3 * points) * 4);
    std::uint32_t header[KELO_PROFILE_HEADER_VALUES] = {};
    header[kHeaderLaser] = stamp.laser;
    header[kHeaderSequence] = stamp.sequence;
    header[kHeaderEncoder] = stamp.encoder;
    header[kHeaderTimestampMicros] = static_cast<std::uint32_t>(stamp.timestampMicros);
    header[kHeaderSyncMode] = static_cast<std::uint32_t>(stamp.mode);
    header[kHeaderSerial] = config.serialNumber;
    if (config.stamped) header[kHeaderStampMark] = config.stampMark;
    for (std::uint32_t value : header) appendWord(out, value);
    appendWord(out, static_cast<std::uint32_t>(points));

    const double seconds = static_cast<double>(stamp.timestampMicros) / 1e6;
    // The bump travels across the field and comes back in from the left.
    const double span = 2.0 * kFieldHalfWidth;
    const double bumpCentre =
        std::fmod(seconds * kBumpSpeed + stamp.laser * 10000.0, span) - kFieldHalfWidth;
    const std::uint64_t seed =
        mix(config.noiseSeed ^ (std::uint64_t(stamp.laser) << 32) ^ stamp.sequence);
    for (int i = 0; i < points; ++i) {
        const double x = points > 1 ? -kFieldHalfWidth + span * i / (points - 1) : 0.0;
        const double dx = (x - bumpCentre) / kBumpWidth;
        const std::uint64_t noise = mix(seed + static_cast<std::uint64_t>(i));
        const double z = kSurfaceDistance + kWaveAmplitude * std::sin(2 * kPi * (x / span + 0.1 * seconds)) -
                         kBumpHeight * std::exp(-dx * dx) +
                         static_cast<double>(noise % (2 * kNoiseAmplitude + 1)) - kNoiseAmplitude;
        const std::uint32_t intensity =
            static_cast<std::uint32_t>(600 + 300 * std::exp(-dx * dx) + (noise >> 32) % 64);
        appendWord(out, static_cast<std::uint32_t>(static_cast<std::int32_t>(std::lround(x))));
        appendWord(out, static_cast<std::uint32_t>(static_cast<std::int32_t>(std::lround(z))));
        appendWord(out, std::min(intensity, kMaxIntensity));
    }
    if (config.stamped) stampChecksum(out);
    return out;
}

void appendProfileAnswer(Bytes& out, const ScannerConfig& config, const ProfileStamp& stamp) {
    const Bytes payload = profilePayload(config, stamp);
    appendWord(out, kAnswerProfile);
    appendWord(out, static_cast<std::uint32_t>(payload.size()));
    out.insert(out.end(), payload.begin(), payload.end());
}

}  // namespace kelo::emu
