/* SPDX-License-Identifier: Apache-2.0 */
// The header values the emulator puts into each profile, and the checksum
// of stamped profiles (--stamp), by which a long run tells that every
// profile it received arrived intact. Header-only: the soak reads what the
// emulator writes.
#pragma once

#include <cstdint>

namespace kelo::emu {

enum ProfileHeaderWord : int {
    kHeaderLaser = 0,
    kHeaderSequence = 1,  // profiles handed out before this one
    kHeaderEncoder = 2,
    kHeaderTimestampMicros = 3,
    kHeaderSyncMode = 4,
    kHeaderSerial = 5,
    kHeaderStampMark = 7,  // stamped profiles: the mark given with --stamp
    kHeaderChecksum = 8,   // stamped profiles: ProfileChecksum of the rest
};

// Covers header values 0 to 7, the point count and the point values, in
// that order. Each word is mixed with its place before it is summed: a
// changed, lost or moved word changes the sum.
class ProfileChecksum {
public:
    void add(std::uint32_t word) {
        std::uint32_t x = word ^ (place_++ * 0x9E3779B9u);
        x ^= x >> 16;
        x *= 0x85EBCA6Bu;
        x ^= x >> 13;
        x *= 0xC2B2AE35u;
        x ^= x >> 16;
        sum_ += x;
    }
    std::uint32_t value() const { return sum_; }

private:
    std::uint32_t place_ = 0;
    std::uint32_t sum_ = 0;
};

}  // namespace kelo::emu
