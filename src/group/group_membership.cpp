// SPDX-License-Identifier: Apache-2.0
// Creating and deleting groups, their members and the profiles stored for them.
#include <new>
#include <utility>

#include "group/multiple_scanner.h"

namespace kelo::group {

bool MemberProfiles::reserveRecords(std::uint32_t n) noexcept {
    if (records.size() >= n) return true;
    try {
        records.resize(n);  // value-initialised: the added records are zero
    } catch (...) {         // bad_alloc, or length_error beyond max_size
        return false;
    }
    return true;
}

MemberProfiles* findMember(MultipleScanner* group, ScannerConnection* connection) {
    if (group == nullptr || connection == nullptr) return nullptr;
    auto it = group->members.find(connection);
    return it == group->members.end() ? nullptr : &it->second;
}

}  // namespace kelo::group

using kelo::group::findMember;
using kelo::group::MemberProfiles;

extern "C" {

KELO_API MultipleScanner* KELO_CALL lpMultipleScannerCreate(void) {
    return new (std::nothrow) MultipleScanner();
}

KELO_API void KELO_CALL lpMultipleScannerDelete(MultipleScanner* group) {
    // The members' stores go with the map; the connections are the caller's.
    delete group;
}

KELO_API int32_t KELO_CALL lpMultipleScannerAddConnection(MultipleScanner* group,
                                                          ScannerConnection* connection) {
    if (group == nullptr || connection == nullptr) return KELO_ERROR_ARGUMENT;
    try {
        // emplace leaves the map as it was when the node cannot be allocated.
        const bool added = group->members.emplace(connection, MemberProfiles{}).second;
        return added ? KELO_OK : KELO_ERROR_STATE;
    } catch (const std::bad_alloc&) {
        return KELO_ERROR_STATE;
    }
}

KELO_API void KELO_CALL lpMultipleScannerRemoveConnection(MultipleScanner* group,
                                                          ScannerConnection* connection) {
    if (group == nullptr || connection == nullptr) return;
    group->members.erase(connection);
}

KELO_API int32_t KELO_CALL lpMultipleScannerContainsConnection(MultipleScanner* group,
                                                               ScannerConnection* connection) {
    if (group == nullptr || connection == nullptr) return KELO_ERROR_ARGUMENT;
    return group->members.count(connection) != 0 ? 1 : 0;
}

KELO_API void KELO_CALL lpMultipleScannerClearProfiles(MultipleScanner* group) {
    if (group == nullptr) return;
    for (auto& member : group->members) member.second.count = 0;
}

KELO_API int32_t KELO_CALL lpMultipleScannerGetProfileCount(MultipleScanner* group,
                                                            ScannerConnection* connection) {
    const MemberProfiles* profiles = findMember(group, connection);
    return profiles == nullptr ? 0 : static_cast<int32_t>(profiles->count);
}

KELO_API ProfileRecord* KELO_CALL lpMultipleScannerGetProfile(MultipleScanner* group,
                                                              ScannerConnection* connection,
                                                              uint32_t index) {
    MemberProfiles* profiles = findMember(group, connection);
    if (profiles == nullptr || index >= profiles->count) return nullptr;
    return &profiles->records[index];
}

}  // extern "C"
