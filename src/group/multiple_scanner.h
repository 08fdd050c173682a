/* SPDX-License-Identifier: Apache-2.0 */
// The group object behind a MultipleScanner handle: its members, ordered by
// handle value, each with the profiles collected for it.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "kelo_dll/group.h"
#include "kelo_dll/profiles.h"

namespace kelo::group {

// Profiles stored for one member. The records are contiguous so that a
// per-connection batch read can write straight into them; records.size() is
// the storage grown so far, count the profiles that are valid.
struct MemberProfiles {
    std::vector<ProfileRecord> records;
    std::uint32_t count = 0;
    // Profiles received so far by the collection in progress.
    std::uint32_t received = 0;

    // Makes room for at least n records, zero-filling those added. False
    // when memory runs out (the store is then unchanged).
    bool reserveRecords(std::uint32_t n) noexcept;
};

// Members ascend by handle value as an unsigned pointer-sized integer, so
// every walk visits them in the same order whatever order they were added in.
struct ByHandleValue {
    bool operator()(const ScannerConnection* a, const ScannerConnection* b) const {
        return reinterpret_cast<std::uintptr_t>(a) < reinterpret_cast<std::uintptr_t>(b);
    }
};

using MemberMap = std::map<ScannerConnection*, MemberProfiles, ByHandleValue>;

// The stored profiles of a member, or null when the group or the connection
// is null or the connection is not a member.
MemberProfiles* findMember(MultipleScanner* group, ScannerConnection* connection);

// A member's handle as a group result.
inline KeloGroupResult memberResult(ScannerConnection* member) {
    return reinterpret_cast<KeloGroupResult>(member);
}

}  // namespace kelo::group

struct MultipleScanner {
    kelo::group::MemberMap members;
};
