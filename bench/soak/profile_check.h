/* SPDX-License-Identifier: Apache-2.0 */
// Every profile received from a stamping emulator is checked: its checksum,
// its scanner's serial number, and its place in the emulator's sequence.
// A gap in the sequence is expected only after a failure was reported or
// the connection opened anew (the profiles of the failed answers are
// lost); anywhere else it is a profile lost unseen.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <kelo_dll.h>

namespace soak {

struct ProfileCounts {
    std::uint64_t intact = 0;
    std::uint64_t corrupted = 0;        // checksum or serial number wrong
    std::uint64_t gaps = 0;             // after a failure or a new connection
    std::uint64_t unexplainedGaps = 0;  // anywhere else
    std::uint64_t outOfOrder = 0;       // a sequence number or mark going back
};

class ProfileCheck {
public:
    // checked: the profiles are stamped (else they are only counted).
    ProfileCheck(std::uint32_t serial, bool checked);

    // The next profile may lie anywhere further on.
    void allowGap() { gapAllowed_ = true; }
    void check(const ProfileRecord& profile);
    const ProfileCounts& counts() const { return counts_; }
    std::vector<std::string> notes() const;

private:
    void note(const char* what, const ProfileRecord& profile);

    std::uint32_t serial_;
    bool checked_;
    bool gapAllowed_ = true;
    bool seen_ = false;
    std::uint32_t mark_ = 0;
    std::uint32_t sequence_ = 0;
    ProfileCounts counts_;
    static constexpr std::size_t kNotesKept = 8;
    std::size_t notesTaken_ = 0;
    char notes_[kNotesKept][128] = {};
};

}  // namespace soak
