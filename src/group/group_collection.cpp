// SPDX-License-Identifier: Apache-2.0
// Driving every member of a group: sync modes, batch requests and the
// collection of the same number of profiles from each member.
#include "core/socket_layer.h"
#include "group/multiple_scanner.h"
#include "kelo_dll/profiles.h"
#include "kelo_dll/sync.h"

namespace kelo::group {
namespace {

using MemberOperation = int32_t(KELO_CALL*)(ScannerConnection*);

// Calls the operation on each member in ascending handle order and stops at
// the first non-zero result; members already visited keep their new state.
KeloGroupResult walkMembers(MultipleScanner* group, MemberOperation operation) {
    if (group == nullptr) return KELO_GROUP_OK;
    for (auto& member : group->members) {
        if (operation(member.first) != KELO_OK) return memberResult(member.first);
    }
    return KELO_GROUP_OK;
}

// Results of the per-connection request and read that end a collection:
// the connection is broken (or the handle was null).
bool endsCollection(int32_t result) {
    return result == KELO_ERROR_IO || result == KELO_ERROR_ARGUMENT;
}

// The collection loop proper. Every member is synchronised, n >= 1 and
// every store has room for n records. Profiles land straight in the
// members' stores after those already received in this call; the loop
// returns once every member holds n, or at the first member whose request
// or read fails.
KeloGroupResult collect(MemberMap& members, std::uint32_t n) {
    for (auto& member : members) member.second.received = 0;
    std::size_t completed = 0;
    for (;;) {
        for (auto& [connection, profiles] : members) {
            if (profiles.received >= n) continue;
            const int32_t result = lpSendMultipleProfileRequest(connection, n - profiles.received);
            if (endsCollection(result)) return memberResult(connection);
        }

        bool progressed = false;
        for (auto& [connection, profiles] : members) {
            if (profiles.received >= n) continue;
            const std::uint32_t wanted = n - profiles.received;
            const int32_t result =
                lpReadMultipleProfiles(connection, &profiles.records[profiles.received], wanted);
            if (result > 0) {
                // A read stores at most what it was given room for; the clamp
                // keeps the count within the storage should one ever not.
                const auto got = static_cast<std::uint32_t>(result);
                profiles.received += got > wanted ? wanted : got;
                progressed = true;
                if (profiles.received == n) ++completed;
            }
            profiles.count = profiles.received;
            if (endsCollection(result)) return memberResult(connection);
            // 0, -3 (no profile) and -4 (time-out): asked again next cycle.
        }

        if (completed == members.size()) return KELO_GROUP_OK;
        if (!progressed) net::yieldProcessor();
    }
}

}  // namespace
}  // namespace kelo::group

using kelo::group::memberResult;
using kelo::group::walkMembers;

extern "C" {

KELO_API KeloGroupResult KELO_CALL lpMultipleScannerEnterEncoderSyncMode(MultipleScanner* group) {
    return walkMembers(group, lpEnterEncoderSyncMode);
}

KELO_API KeloGroupResult KELO_CALL lpMultipleScannerEnterTimeSyncMode(MultipleScanner* group) {
    return walkMembers(group, lpEnterTimeSyncMode);
}

KELO_API KeloGroupResult KELO_CALL lpMultipleScannerExitSyncMode(MultipleScanner* group) {
    return walkMembers(group, lpExitSyncMode);
}

KELO_API KeloGroupResult KELO_CALL lpMultipleScannerSendMultipleProfileRequest(
    MultipleScanner* group, uint32_t count) {
    if (group == nullptr) return KELO_GROUP_OK;
    for (auto& member : group->members) {
        if (lpSendMultipleProfileRequest(member.first, count) != KELO_OK)
            return memberResult(member.first);
    }
    return KELO_GROUP_OK;
}

KELO_API KeloGroupResult KELO_CALL lpMultipleScannerGetMultipleProfiles(MultipleScanner* group,
                                                                        uint32_t count) {
    if (group == nullptr || group->members.empty()) return KELO_GROUP_OK;

    // An idle member would answer both request and read with 21, which the
    // read pass could not tell from 21 profiles: refuse before any traffic,
    // naming the first idle member, and leave every store as it was.
    for (auto& member : group->members) {
        if (lpIsInSyncMode(member.first) != 1) return memberResult(member.first);
    }

    // Nothing to collect: every member holds the 0 profiles of this call.
    if (count == 0) {
        for (auto& member : group->members) member.second.count = 0;
        return KELO_GROUP_OK;
    }

    // Room for every member's profiles before the first request, so running
    // out of memory leaves no request unanswered and no store changed.
    for (auto& member : group->members) {
        if (!member.second.reserveRecords(count)) return memberResult(member.first);
    }
    return kelo::group::collect(group->members, count);
}

KELO_API KeloGroupResult KELO_CALL lpMultipleScannerReadMultipleProfiles(MultipleScanner* group,
                                                                         uint32_t count) {
    // Answers to lpMultipleScannerSendMultipleProfileRequest are read member
    // by member with lpReadMultipleProfiles; a group-wide read adds nothing.
    return KELO_GROUP_OK;
}

}  // extern "C"
