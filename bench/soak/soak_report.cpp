// SPDX-License-Identifier: Apache-2.0
#include "soak_report.h"

#include <cinttypes>
#include <cstdio>
#include <string>

namespace soak {
namespace {

struct KindTally {
    std::uint64_t injected = 0;
    std::uint64_t reported = 0;     // with the fault's own code
    std::uint64_t otherOnly = 0;    // only with another code
    std::uint64_t explained = 0;    // not reported, for the reason below
    std::uint64_t unreported = 0;   // not reported, unexplained
    std::uint64_t profilesThrough = 0;
};

const char* ownCode(FaultKind kind) {
    switch (kind) {
        case FaultKind::Silent: return "as a time-out";
        case FaultKind::Short:
        case FaultKind::Drop: return "as a closed connection";
        case FaultKind::WrongType: return "as a wrong answer type (99)";
        case FaultKind::HugeLength: return "as too long";
        case FaultKind::Restart: return "as a closed connection or a refused connect";
    }
    return "";
}

void say(const std::string& line) { std::printf("soak: %s\n", line.c_str()); }

}  // namespace

bool report(const std::vector<std::unique_ptr<Collector>>& collectors, const CallTimer& timer,
            const RunFigures& run) {
    KindTally tally[kFaultKindCount];
    ProfileCounts profiles;
    std::uint64_t unattributed = 0;
    std::vector<std::string> notes;
    bool lost = false;
    for (const auto& collector : collectors) {
        lost = lost || collector->lost();
        for (const FaultRecord& fault : collector->faults()) {
            if (fault.begun < 0) continue;
            KindTally& t = tally[static_cast<std::size_t>(fault.kind)];
            ++t.injected;
            const std::uint64_t through = fault.profilesAtEnd - fault.profilesAtBegin;
            if (fault.reported > 0) {
                ++t.reported;
            } else if (fault.otherReports > 0) {
                ++t.otherOnly;
                notes.push_back(collector->target().host + ": " + faultName(fault.kind) +
                                " reported only with failure " + std::to_string(fault.firstOther.failure) +
                                " (detail " + std::to_string(fault.firstOther.detail) + ")");
            } else if (fault.kind == FaultKind::HugeLength && fault.ended >= 0 && through > 0) {
                ++t.explained;
                t.profilesThrough += through;
            } else {
                ++t.unreported;
                notes.push_back(collector->target().host + ": " + faultName(fault.kind) + " at " +
                                std::to_string(fault.begun) + " not reported");
            }
        }
        const ProfileCounts& c = collector->check().counts();
        profiles.intact += c.intact;
        profiles.corrupted += c.corrupted;
        profiles.gaps += c.gaps;
        profiles.unexplainedGaps += c.unexplainedGaps;
        profiles.outOfOrder += c.outOfOrder;
        for (const std::string& note : collector->check().notes()) notes.push_back(collector->target().host + ": " + note);
        unattributed += collector->unattributed();
        for (const std::string& note : collector->unattributedNotes()) {
            notes.push_back((run.emulated ? "failure outside any fault: " : "failure: ") + note);
        }
    }

    std::uint64_t injected = 0, reported = 0, unexplained = 0;
    if (run.emulated) {
        say("faults injected: reported with their own failure code / only with another / not reported");
        for (FaultKind kind : kFaultKinds) {
            const KindTally& t = tally[static_cast<std::size_t>(kind)];
            injected += t.injected;
            reported += t.reported;
            unexplained += t.otherOnly + t.unreported;
            char line[200];
            std::snprintf(line, sizeof line, "  %-12s %5" PRIu64 ": %5" PRIu64 " %s / %" PRIu64 " / %" PRIu64,
                          faultName(kind), t.injected, t.reported, ownCode(kind), t.otherOnly,
                          t.unreported + t.explained);
            say(line);
            if (t.explained > 0) {
                say("  " + std::to_string(t.explained) + " " + faultName(kind) +
                    " not reported, as expected: it changes only the outer length word of each batch, which"
                    " the batch reader does not use (it reads the inner answers by their own lengths); " +
                    std::to_string(t.profilesThrough) + " profiles came through them, checked like all others");
            }
        }
    }
    char line[300];
    if (run.emulated) {
        std::snprintf(line, sizeof line,
                      "profiles: %" PRIu64 " intact, %" PRIu64 " corrupted, %" PRIu64 " out of order; %" PRIu64
                      " gaps, each after a reported failure or a new connection, %" PRIu64 " anywhere else",
                      profiles.intact, profiles.corrupted, profiles.outOfOrder, profiles.gaps,
                      profiles.unexplainedGaps);
    } else {
        std::snprintf(line, sizeof line, "profiles: %" PRIu64 " received, not checked (only emulators stamp them)",
                      profiles.intact);
    }
    say(line);
    for (const std::string& note : timer.notes()) notes.push_back("hang: " + note);
    for (const std::string& note : notes) say(note);

    const long rss = run.end.rssKiB - run.baseline.rssKiB;
    const long fds = run.end.fds - run.baseline.fds;
    const long threads = run.end.threads - run.baseline.threads;
    std::vector<std::string> failed;
    if (timer.hangs() > 0) failed.push_back("calls hung");
    if (unexplained > 0) failed.push_back("faults not reported with their code");
    if (profiles.corrupted + profiles.outOfOrder + profiles.unexplainedGaps > 0) failed.push_back("profiles lost or damaged");
    if (unattributed > 0) failed.push_back(run.emulated ? "failures without a fault" : "failures");
    if (lost) failed.push_back("a scanner was given up");
    if (run.emulatorsFailed > 0) failed.push_back("emulators ended on their own or not cleanly");
    if (!run.settledAtBaseline || !run.settledAtEnd) failed.push_back("not every scanner streamed at the baseline or the end");
    if (fds != 0 || threads != 0 || (run.rssLimitKiB > 0 && rss >= run.rssLimitKiB)) {
        failed.push_back("memory, descriptors or threads grew");
    }
    for (const std::string& reason : failed) say("FAILED: " + reason);

    std::printf("soak: %.0f s, %" PRIu64 " profiles, %" PRIu64 " faults injected, %" PRIu64
                " reported with their failure code, %" PRIu64 " hangs, rss %+ld KiB, fds %+ld, threads %+ld\n",
                run.seconds, profiles.intact + profiles.corrupted, injected, reported, timer.hangs(), rss, fds,
                threads);
    std::fflush(stdout);
    return failed.empty();
}

}  // namespace soak
