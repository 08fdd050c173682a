// SPDX-License-Identifier: Apache-2.0
// Driving every member of a group: sync modes, batch requests and the
// collection of the same number of profiles from each member.
#include <chrono>

#include "core/scanner_connection.h"
#include "core/socket_layer.h"
#include "core/transport.h"
#include "group/multiple_scanner.h"
#include "kelo_dll/extensions.h"
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

// When a collection gives up: never for the classic call, else at a point
// on the monotonic clock.
class Deadline {
public:
    using Clock = std::chrono::steady_clock;

    static Deadline none() { return Deadline(false, Clock::time_point()); }
    static Deadline after(std::int32_t milliseconds) {
        return Deadline(true, Clock::now() + std::chrono::milliseconds(milliseconds > 0 ? milliseconds : 0));
    }

    bool set() const { return set_; }
    bool passed() const { return set_ && Clock::now() >= at_; }
    // The time left, rounded up, so that a wait that times out ends past
    // the deadline.
    std::int32_t leftMs() const {
        const auto microseconds = std::chrono::duration_cast<std::chrono::microseconds>(at_ - Clock::now()).count();
        const auto left = (microseconds + 999) / 1000;
        return left <= 0 ? 0 : left < kDefaultTimeoutMs ? static_cast<std::int32_t>(left) : kDefaultTimeoutMs;
    }

private:
    Deadline(bool set, Clock::time_point at) : set_(set), at_(at) {}
    bool set_;
    Clock::time_point at_;
};

// One read of a member's owed batch. Against a deadline the read starts only
// once the answer has begun to arrive, within the time left: a read that
// timed out would already have given up the answer it was owed, and the
// answer, arriving later, would put the stream out of step. An answer that
// has begun is read to its end with the usual time-out per piece.
int32_t readOwedBatch(ScannerConnection* connection, ProfileRecord* records, std::uint32_t wanted,
                      const Deadline& deadline) {
    if (deadline.set()) {
        const int32_t waited = lpWaitForAnswer(connection, deadline.leftMs());
        if (waited != KELO_OK) return waited;
    }
    return lpReadMultipleProfiles(connection, records, wanted);
}

// The collection loop proper. Every member is synchronised, n >= 1 and
// every store has room for n records. Profiles land straight in the
// members' stores after those already received in this call; the loop
// returns once every member holds n, at the first member whose request
// or read fails, or, once the deadline has passed, at the first member
// still short of n (noted as a time-out on that member).
//
// Against a deadline, a member still owed an answer (one a collection
// that timed out left, or one the caller asked for ahead) is read before
// it is asked again. Asked anyway, every time-out would leave it one batch
// more behind for good, and a scanner that swallowed a request would keep
// answering the later ones and never show as late.
KeloGroupResult collect(MemberMap& members, std::uint32_t n, const Deadline& deadline) {
    for (auto& member : members) member.second.received = 0;
    std::size_t completed = 0;
    for (;;) {
        for (auto& [connection, profiles] : members) {
            if (profiles.received >= n) continue;
            if (deadline.set() && connection->outstandingRequests > 0) continue;
            const int32_t result = lpSendMultipleProfileRequest(connection, n - profiles.received);
            if (endsCollection(result)) return memberResult(connection);
        }

        bool progressed = false;
        for (auto& [connection, profiles] : members) {
            if (profiles.received >= n) continue;
            const std::uint32_t wanted = n - profiles.received;
            const int32_t result = readOwedBatch(connection, &profiles.records[profiles.received], wanted, deadline);
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
        if (deadline.passed()) {
            for (auto& [connection, profiles] : members) {
                if (profiles.received >= n) continue;
                connection->failure = Failure{KELO_FAILURE_TIMEOUT, 0};
                return memberResult(connection);
            }
        }
        if (!progressed) net::yieldProcessor();
    }
}

// The collection common to both exports: checks, room, then the loop.
KeloGroupResult collectProfiles(MultipleScanner* group, uint32_t count, const Deadline& deadline) {
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
    return collect(group->members, count, deadline);
}

}  // namespace
}  // namespace kelo::group

using kelo::group::collectProfiles;
using kelo::group::Deadline;
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
    return collectProfiles(group, count, Deadline::none());
}

KELO_API KeloGroupResult KELO_CALL lpMultipleScannerGetMultipleProfilesTimeout(
    MultipleScanner* group, uint32_t count, int32_t timeoutMs) {
    return collectProfiles(group, count, Deadline::after(timeoutMs));
}

KELO_API KeloGroupResult KELO_CALL lpMultipleScannerReadMultipleProfiles(MultipleScanner* group,
                                                                         uint32_t count) {
    // Answers to lpMultipleScannerSendMultipleProfileRequest are read member
    // by member with lpReadMultipleProfiles; a group-wide read adds nothing.
    return KELO_GROUP_OK;
}

}  // extern "C"
