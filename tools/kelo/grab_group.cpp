// SPDX-License-Identifier: Apache-2.0
// kelo grab on several scanners as a group: each round collects the same
// number of profiles from every member, within the group time-out, and
// writes each member's into its own files.
#include <algorithm>

#include "grab_runs.h"
#include "interrupts.h"
#include "progress.h"

namespace kelo::cli {
namespace {

const char* const kName = "grab";

// Why the member named by a group result failed.
std::string memberFailure(const Scanner& member, std::uint32_t wanted, const GrabOptions& o) {
    ScannerConnection* h = member.handle();
    switch (lpGetLastFailure(h)) {
        case KELO_FAILURE_TIMEOUT:
            return member.name() + ": did not deliver its " + std::to_string(wanted) + " profile(s) within " +
                   std::to_string(o.timeoutMs) + " ms";
        case KELO_FAILURE_TOO_LONG:
            return member.name() + ": a profile of " + std::to_string(lpGetLastFailureDetail(h)) +
                   " bytes does not fit the group's records (" + std::to_string(KELO_PROFILE_MAX_POINTS) +
                   " points at most)";
        default:
            return member.name() + ": profile batch: " +
                   failureText(h, KELO_ERROR_IO, {"a profile batch", o.timeoutMs});
    }
}

// Writes round `wanted` of every member; empty or what failed.
std::string writeRound(MultipleScanner* group, const std::vector<std::unique_ptr<Scanner>>& scanners,
                       std::uint32_t wanted, std::vector<std::unique_ptr<GrabFiles>>& files) {
    for (std::size_t s = 0; s < scanners.size(); ++s) {
        for (std::uint32_t i = 0; i < wanted; ++i) {
            const ProfileRecord* record = lpMultipleScannerGetProfile(group, scanners[s]->handle(), i);
            const std::string unwritten = record ? files[s]->write(ProfileView::of(*record)) : "the group's store";
            if (!unwritten.empty()) return "cannot write to " + unwritten;
        }
        // Flushed each round: should the scanners hold the run past Ctrl-C, what came is on disk.
        const std::string unflushed = files[s]->flush();
        if (!unflushed.empty()) return "cannot write to " + unflushed;
    }
    return {};
}

}  // namespace

int grabGroup(const std::vector<std::unique_ptr<Scanner>>& scanners, const GrabOptions& o,
              std::vector<std::unique_ptr<GrabFiles>>& files) {
    std::unique_ptr<MultipleScanner, void(KELO_CALL*)(MultipleScanner*)> group(lpMultipleScannerCreate(),
                                                                              lpMultipleScannerDelete);
    if (!group) return report(kName, "out of memory for the group");
    std::vector<std::string> left;  // why each synchronised member may not have left sync mode
    std::string failure;
    for (const auto& scanner : scanners) {
        lpMultipleScannerAddConnection(group.get(), scanner->handle());
        const std::string entered = enterSync(scanner->handle(), o.sync);
        if (!entered.empty()) {
            failure = scanner->name() + ": " + entered;
            break;
        }
        left.emplace_back();
    }

    Progress progress(o.count, !o.quiet);
    std::uint64_t collected = 0;
    const Scanner* failed = nullptr;  // the member that ended the collection
    while (failure.empty() && collected < o.count && !interrupted()) {
        const auto wanted = static_cast<std::uint32_t>(std::min<std::uint64_t>(o.batch, o.count - collected));
        const KeloGroupResult result =
            lpMultipleScannerGetMultipleProfilesTimeout(group.get(), wanted, o.timeoutMs);
        if (result != KELO_GROUP_OK) {
            const auto silent = std::find_if(scanners.begin(), scanners.end(), [&](const auto& scanner) {
                return reinterpret_cast<KeloGroupResult>(scanner->handle()) == result;
            });
            if (silent == scanners.end()) {
                failure = "the group collection failed";
            } else {
                failed = silent->get();
                failure = memberFailure(*failed, wanted, o);
            }
            break;
        }
        failure = writeRound(group.get(), scanners, wanted, files);
        collected += wanted;
        progress.update(collected);
    }
    progress.finish();
    for (std::size_t s = 0; s < scanners.size(); ++s) {
        const std::string unfinished = files[s]->close(scanners[s]->name());
        if (failure.empty() && !unfinished.empty()) failure = unfinished;
        files[s]->printSummary(scanners[s]->name(), progress.elapsedSeconds(), syncKindName(o.sync.kind));
    }
    LeavingSync leaving;
    for (std::size_t s = 0; s < left.size(); ++s) {
        const Scanner& member = *scanners[s];
        const bool gone = &member == failed && !stillAnswering(member.handle());
        const std::string why = gone ? "the scanner does not answer" : leaveSync(member.handle(), o.sync);
        if (!why.empty()) left[s] = member.name() + ": " + why;
    }
    for (const auto& scanner : scanners) lpMultipleScannerRemoveConnection(group.get(), scanner->handle());
    return grabEnd(o, failure, left);
}

}  // namespace kelo::cli
