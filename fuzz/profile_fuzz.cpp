// SPDX-License-Identifier: Apache-2.0
// Profile answers, batches and the clean-up of owed answers, as every
// profile read of the library receives them. Record arrays are exactly as
// large as the capacity passed, so a write past them is caught.
#include <cstdint>
#include <memory>

#include "fed_connection.h"
#include "kelo_dll/profiles.h"
#include "kelo_dll/sync.h"

namespace {

constexpr unsigned kMaxCapacity = 8;
constexpr int32_t kShortTimeoutMs = 100;

// A stored profile never counts more points than its record holds; only
// the records a read reports as stored are looked at.
template <typename Record>
void checkStored(const Record* records, int32_t stored, int32_t maxPoints) {
    for (int32_t i = 0; i < stored; ++i) {
        if (records[i].pointCount > maxPoints) __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto input = kelo::fuzz::select(data, size, 8);
    kelo::fuzz::FedConnection fed(input);
    ScannerConnection* c = fed.connection();
    if (c == nullptr) return 0;
    const std::uint32_t capacity = input.option % (kMaxCapacity + 1);
    std::unique_ptr<ProfileRecord[]> records(new ProfileRecord[capacity ? capacity : 1]);
    ProfileRecord* r = records.get();
    // Picks between two exports that read the same way.
    const bool odd = (input.option & 1) != 0;
    // Batch reads need a synchronised connection that is owed answers; the
    // commands go to the scanner end, which ignores them.
    const auto owe = [c, capacity](std::uint32_t answers) {
        lpEnterTimeSyncMode(c);
        for (std::uint32_t i = 0; i < answers; ++i) lpSendMultipleProfileRequest(c, capacity);
    };
    int32_t stored = 0;  // records filled, by the read's own account
    switch (input.choice) {
        case 0:
            stored = (odd ? lpReadProfileN(c, r) : lpReadProfile(c, r)) == 0;
            break;
        case 1:
            owe(1);
            stored = odd ? lpReadMultipleProfiles(c, r, capacity)
                         : lpReadMultipleProfilesTimeout(c, r, capacity, kShortTimeoutMs);
            break;
        case 2: {
            std::unique_ptr<LargeProfileRecord[]> large(
                new LargeProfileRecord[capacity ? capacity : 1]);
            owe(1);
            checkStored(large.get(),
                        lpReadMultipleLargeProfiles(c, large.get(), capacity, kShortTimeoutMs),
                        KELO_LARGE_PROFILE_MAX_POINTS);
            break;
        }
        case 3:
            stored = lpGetProfileFromAllLasers(c, r, capacity);
            break;
        case 4:
            for (unsigned i = 0; i <= input.option % 4u; ++i) lpSendProfileRequest(c);
            lpCleanUpOutstandingRequests(c);
            break;
        case 5:
            stored = (odd ? lpGetProfile(c, r) : lpGetProfileN(c, input.option, r)) == 0;
            break;
        case 6:
            lpEnterTimeSyncMode(c);
            stored = lpGetMultipleProfiles(c, r, capacity);
            break;
        case 7:
            // Leaving sync mode drains what is still owed.
            owe(1 + input.option % 4);
            lpExitSyncMode(c);
            break;
    }
    checkStored(r, stored, KELO_PROFILE_MAX_POINTS);
    return 0;
}
