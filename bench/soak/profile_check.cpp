// SPDX-License-Identifier: Apache-2.0
#include "profile_check.h"

#include <cstdio>

#include "emulator/profile_header.h"

namespace soak {
namespace {

using kelo::emu::kHeaderChecksum;

std::uint32_t word(std::int32_t value) { return static_cast<std::uint32_t>(value); }

std::uint32_t checksumOf(const ProfileRecord& profile) {
    kelo::emu::ProfileChecksum sum;
    for (int i = 0; i < kHeaderChecksum; ++i) sum.add(word(profile.header[i]));
    sum.add(word(profile.pointCount));
    const int points = profile.pointCount < 0                         ? 0
                       : profile.pointCount > KELO_PROFILE_MAX_POINTS ? KELO_PROFILE_MAX_POINTS
                                                                      : profile.pointCount;
    for (int i = 0; i < points; ++i) {
        for (std::int32_t value : profile.points[i]) sum.add(word(value));
    }
    return sum.value();
}

}  // namespace

ProfileCheck::ProfileCheck(std::uint32_t serial, bool checked) : serial_(serial), checked_(checked) {}

void ProfileCheck::check(const ProfileRecord& profile) {
    if (!checked_) {
        ++counts_.intact;
        return;
    }
    if (word(profile.header[kHeaderChecksum]) != checksumOf(profile) ||
        word(profile.header[kelo::emu::kHeaderSerial]) != serial_) {
        ++counts_.corrupted;
        note("corrupted", profile);
        return;
    }
    ++counts_.intact;
    const std::uint32_t mark = word(profile.header[kelo::emu::kHeaderStampMark]);
    const std::uint32_t sequence = word(profile.header[kelo::emu::kHeaderSequence]);
    if (seen_) {
        const bool restarted = mark > mark_;
        if (mark < mark_ || (mark == mark_ && sequence <= sequence_)) {
            ++counts_.outOfOrder;
            note("out of order", profile);
        } else if (restarted || sequence != sequence_ + 1) {
            ++(gapAllowed_ ? counts_.gaps : counts_.unexplainedGaps);
            if (!gapAllowed_) note("gap with no failure before it", profile);
        }
    }
    seen_ = true;
    mark_ = mark;
    sequence_ = sequence;
    gapAllowed_ = false;
}

void ProfileCheck::note(const char* what, const ProfileRecord& profile) {
    if (notesTaken_ == kNotesKept) return;
    std::snprintf(notes_[notesTaken_++], sizeof notes_[0], "%s: mark %u sequence %u after mark %u sequence %u",
                  what, word(profile.header[kelo::emu::kHeaderStampMark]),
                  word(profile.header[kelo::emu::kHeaderSequence]), mark_, sequence_);
}

std::vector<std::string> ProfileCheck::notes() const {
    return std::vector<std::string>(notes_, notes_ + notesTaken_);
}

}  // namespace soak
