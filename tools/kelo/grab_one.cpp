// SPDX-License-Identifier: Apache-2.0
// kelo grab on one scanner: batch requests kept two ahead, each answer
// awaited in slices so that Ctrl-C ends the run at once.
#include <deque>
#include <memory>
#include <new>

#include "answer_wait.h"
#include "failure_text.h"
#include "grab_runs.h"
#include "interrupts.h"
#include "progress.h"

namespace kelo::cli {
namespace {

const char* const kName = "grab";
// Batch requests kept in flight, so that the scanner is never left waiting
// for the next request while an answer is being written out.
constexpr std::size_t kRequestsInFlight = 2;
// A scanner that answers this many requests in a row with empty batches
// is not delivering; give up rather than ask for ever.
constexpr int kMaxEmptyBatches = 1000;

int32_t readBatch(ScannerConnection* h, ProfileRecord* records, std::uint32_t capacity, std::int32_t timeoutMs) {
    return lpReadMultipleProfilesTimeout(h, records, capacity, timeoutMs);
}
int32_t readBatch(ScannerConnection* h, LargeProfileRecord* records, std::uint32_t capacity,
                  std::int32_t timeoutMs) {
    return lpReadMultipleLargeProfiles(h, records, capacity, timeoutMs);
}

// Why a batch read failed; --large named only for a profile too long.
template <typename Record>
std::string batchFailure(ScannerConnection* h, int32_t result, const GrabOptions& o) {
    if (lpGetLastFailure(h) != KELO_FAILURE_TOO_LONG) {
        return "profile batch: " + failureText(h, result, {"a profile batch", o.timeoutMs});
    }
    const std::string size = "a profile of " + std::to_string(lpGetLastFailureDetail(h)) + " bytes";
    return sizeof(Record) == sizeof(ProfileRecord) ? size + " does not fit: use --large"
                                                   : size + " does not fit even a large record";
}

template <typename Record>
int acquire(const Scanner& scanner, const GrabOptions& o, GrabFiles& files) {
    std::unique_ptr<Record[]> records(new (std::nothrow) Record[o.batch]);
    if (!records) {
        return report(kName, "out of memory for " + std::to_string(o.batch) + " records; use a smaller --batch");
    }
    ScannerConnection* h = scanner.handle();
    const std::string entered = enterSync(h, o.sync);
    if (!entered.empty()) return report(kName, entered);

    Progress progress(o.count, !o.quiet);
    std::deque<std::uint32_t> inFlight;  // profiles asked for by each outstanding request
    std::uint64_t collected = 0, asked = 0;
    int emptyBatches = 0;
    std::string failure;  // the first failure ends the loop
    bool answering = true;
    while (failure.empty() && collected < o.count) {
        while (inFlight.size() < kRequestsInFlight && collected + asked < o.count) {
            const std::uint64_t missing = o.count - collected - asked;
            const auto want = static_cast<std::uint32_t>(missing < o.batch ? missing : o.batch);
            const int32_t sent = lpSendMultipleProfileRequest(h, want);
            if (sent != KELO_OK) {
                failure = "profile request: " + failureText(h, sent);
                break;
            }
            inFlight.push_back(want);
            asked += want;
        }
        if (!failure.empty() || inFlight.empty()) break;
        const AnswerWait wait = awaitAnswer(h, o.timeoutMs);
        if (wait == AnswerWait::Interrupted) break;
        if (wait == AnswerWait::TimedOut) {
            failure = "profile batch: " + noAnswerText(o.timeoutMs);
            answering = false;
            break;
        }
        const std::uint32_t want = inFlight.front();
        inFlight.pop_front();
        asked -= want;
        const int32_t got = readBatch(h, records.get(), want, o.timeoutMs);
        if (got < 0) {
            failure = batchFailure<Record>(h, got, o);
            answering = stillAnswering(h);
            break;
        }
        if (got == 0 && ++emptyBatches >= kMaxEmptyBatches) {
            failure = "the scanner answered " + std::to_string(kMaxEmptyBatches) +
                      " requests in a row without a profile";
        }
        if (got > 0) emptyBatches = 0;
        for (int32_t i = 0; i < got && collected < o.count && failure.empty(); ++i, ++collected) {
            const std::string unwritten = files.write(ProfileView::of(records[i]));
            if (!unwritten.empty()) failure = "cannot write to " + unwritten;
        }
        progress.update(collected);
    }
    progress.finish();
    // What was written is kept whatever happens next.
    const std::string unfinished = files.close(scanner.name());
    if (failure.empty()) failure = unfinished;
    files.printSummary(scanner.name(), progress.elapsedSeconds(), syncKindName(o.sync.kind));
    if (!answering) return grabEnd(o, failure, {"the scanner does not answer"});
    LeavingSync leaving;
    return grabEnd(o, failure, {leaveSync(h, o.sync)});
}

}  // namespace

int grabOne(const Scanner& scanner, const GrabOptions& options, GrabFiles& files) {
    return options.large ? acquire<LargeProfileRecord>(scanner, options, files)
                         : acquire<ProfileRecord>(scanner, options, files);
}

bool stillAnswering(ScannerConnection* connection) {
    const std::int32_t failure = lpGetLastFailure(connection);
    return failure != KELO_FAILURE_TIMEOUT && failure != KELO_FAILURE_CLOSED && failure != KELO_FAILURE_SOCKET;
}

int grabEnd(const GrabOptions& options, const std::string& failure,
            const std::vector<std::string>& leftFailures) {
    if (!failure.empty()) report(kName, failure);
    bool left = true;
    for (const std::string& why : leftFailures) {
        if (why.empty()) continue;
        report(kName, "could not leave sync mode: " + why);
        left = false;
    }
    if (!interrupted()) return failure.empty() && left ? kExitOk : kExitFailed;
    // The summary says so, unless --quiet left it out.
    if (options.quiet) report(kName, "interrupted");
    return kExitInterrupted;
}

}  // namespace kelo::cli
