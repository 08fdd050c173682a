// SPDX-License-Identifier: Apache-2.0
// Group collection: up to four synchronised members, each fed its own part
// of one input, collect the same number of profiles; leaving sync mode
// then drains what each member is still owed. Input after the selector:
// for every member but the last a 2-byte little-endian length and that
// many bytes; the last member takes the rest. Members are fed in the
// order the group visits them (ascending handle), so an input always
// plays the same way.
#include <algorithm>
#include <cstdint>
#include <memory>

#include "fed_connection.h"
#include "kelo_dll/group.h"

namespace {

constexpr unsigned kMaxMembers = 4;
constexpr unsigned kMaxProfiles = 16;

struct GroupDeleter {
    void operator()(MultipleScanner* group) const { lpMultipleScannerDelete(group); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto input = kelo::fuzz::select(data, size, kMaxMembers);
    const unsigned members = input.choice + 1;
    const std::uint32_t wanted = 1 + input.option % kMaxProfiles;

    std::unique_ptr<kelo::fuzz::FedConnection> fed[kMaxMembers];
    ScannerConnection* handles[kMaxMembers] = {};
    for (unsigned i = 0; i < members; ++i) {
        fed[i] = std::make_unique<kelo::fuzz::FedConnection>();
        handles[i] = fed[i]->connection();
        if (handles[i] == nullptr) return 0;
    }
    unsigned order[kMaxMembers] = {0, 1, 2, 3};
    std::sort(order, order + members, [&](unsigned a, unsigned b) {
        return reinterpret_cast<std::uintptr_t>(handles[a]) <
               reinterpret_cast<std::uintptr_t>(handles[b]);
    });
    const std::uint8_t* p = input.data;
    std::size_t left = input.size;
    for (unsigned i = 0; i < members; ++i) {
        std::size_t length = left;
        if (i + 1 < members) {
            length = left >= 2 ? static_cast<std::size_t>(p[0] | (p[1] << 8)) : 0;
            const std::size_t prefix = left >= 2 ? 2 : left;
            p += prefix;
            left -= prefix;
            length = std::min(length, left);
        }
        fed[order[i]]->feed(p, length, input.delivery);
        p += length;
        left -= length;
    }

    std::unique_ptr<MultipleScanner, GroupDeleter> group(lpMultipleScannerCreate());
    if (!group) return 0;
    for (unsigned i = 0; i < members; ++i) lpMultipleScannerAddConnection(group.get(), handles[i]);
    if (lpMultipleScannerEnterTimeSyncMode(group.get()) != KELO_GROUP_OK) return 0;

    const KeloGroupResult result = lpMultipleScannerGetMultipleProfiles(group.get(), wanted);
    bool named = result == KELO_GROUP_OK;
    for (unsigned i = 0; i < members; ++i) {
        ScannerConnection* member = handles[i];
        named = named || result == reinterpret_cast<KeloGroupResult>(member);
        const int32_t count = lpMultipleScannerGetProfileCount(group.get(), member);
        // Success means every member holds exactly what was asked for; a
        // failure never leaves more than that.
        if (count < 0 || static_cast<std::uint32_t>(count) > wanted) __builtin_trap();
        if (result == KELO_GROUP_OK && static_cast<std::uint32_t>(count) != wanted) __builtin_trap();
        if (lpMultipleScannerGetProfile(group.get(), member, count) != nullptr) __builtin_trap();
        for (int32_t k = 0; k < count; ++k) {
            const ProfileRecord* record = lpMultipleScannerGetProfile(group.get(), member, k);
            if (record == nullptr || record->pointCount > KELO_PROFILE_MAX_POINTS) __builtin_trap();
        }
    }
    // The result is 0 or the handle of a member.
    if (!named) __builtin_trap();
    lpMultipleScannerExitSyncMode(group.get());
    return 0;
}
