// SPDX-License-Identifier: Apache-2.0
// Groups of connections: membership without a scanner, then the group walks
// and the collection against several emulated scanners, each on a loopback
// address of its own.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/command_codes.h"
#include "core/scanner_connection.h"
#include "support/emulator_fixture.h"
#include "support/g3_checks.h"

namespace kelo::test {
namespace {

ScannerConnection* asHandle(KeloGroupResult result) { return reinterpret_cast<ScannerConnection*>(result); }

emu::Bytes& operator+=(emu::Bytes& to, const emu::Bytes& more) {
    to.insert(to.end(), more.begin(), more.end());
    return to;
}
emu::Bytes operator+(emu::Bytes bytes, const emu::Bytes& more) { return bytes += more; }

const emu::Bytes kEnterTime = words({kCmdEnterTimeSync, 0});
const emu::Bytes kExit = words({kCmdExitSync, 0});

// Time sync entry, then a batch request for each count.
emu::Bytes enterAndRequest(const std::vector<std::uint32_t>& counts) {
    emu::Bytes bytes = kEnterTime;
    for (std::uint32_t count : counts) bytes += words({kCmdMultipleProfileRequest, 4, count});
    return bytes;
}

// No scanner involved: any non-null value can be a member, and a null or
// empty group acts on nothing and reports success.
TEST(GroupMembership, NullArgumentsRepeatedAndUnknownMembers) {
    MultipleScanner* group = lpMultipleScannerCreate();
    ASSERT_NE(group, nullptr);
    ScannerConnection *a = asHandle(0x1000), *b = asHandle(0x2000), *stranger = asHandle(0x3000);
    for (MultipleScanner* nothing : {static_cast<MultipleScanner*>(nullptr), group}) {
        for (KeloGroupResult result :
             {lpMultipleScannerEnterTimeSyncMode(nothing), lpMultipleScannerEnterEncoderSyncMode(nothing),
              lpMultipleScannerSendMultipleProfileRequest(nothing, 3), lpMultipleScannerGetMultipleProfiles(nothing, 3),
              lpMultipleScannerReadMultipleProfiles(nothing, 3), lpMultipleScannerExitSyncMode(nothing)})
            EXPECT_EQ(result, KELO_GROUP_OK);
        lpMultipleScannerClearProfiles(nothing);
    }
    EXPECT_EQ(lpMultipleScannerAddConnection(group, b), KELO_OK);
    EXPECT_EQ(lpMultipleScannerAddConnection(group, a), KELO_OK);
    EXPECT_EQ(lpMultipleScannerAddConnection(group, b), KELO_ERROR_STATE);
    for (auto [g, c] : {std::pair<MultipleScanner*, ScannerConnection*>{nullptr, a}, {group, nullptr}}) {
        EXPECT_EQ(lpMultipleScannerAddConnection(g, c), KELO_ERROR_ARGUMENT);
        EXPECT_EQ(lpMultipleScannerContainsConnection(g, c), KELO_ERROR_ARGUMENT);
        EXPECT_EQ(lpMultipleScannerGetProfileCount(g, c), 0);
        EXPECT_EQ(lpMultipleScannerGetProfile(g, c, 0), nullptr);
        lpMultipleScannerRemoveConnection(g, c);
    }
    lpMultipleScannerRemoveConnection(group, stranger);
    lpMultipleScannerDelete(nullptr);
    // None of that changed anything; a member never collected holds nothing.
    for (ScannerConnection* member : {a, b, stranger}) {
        EXPECT_EQ(lpMultipleScannerContainsConnection(group, member), member == stranger ? 0 : 1);
        EXPECT_EQ(lpMultipleScannerGetProfileCount(group, member), 0);
        EXPECT_EQ(lpMultipleScannerGetProfile(group, member, 0), nullptr);
    }
    // The second add made no second entry: one removal drops b.
    lpMultipleScannerRemoveConnection(group, b);
    EXPECT_EQ(lpMultipleScannerContainsConnection(group, b), 0);
    EXPECT_EQ(lpMultipleScannerContainsConnection(group, a), 1);
    EXPECT_EQ(lpMultipleScannerAddConnection(group, b), KELO_OK);
    lpMultipleScannerDelete(group);
}

// Profiles carry the scanner's tag in header word 0 and a running sequence
// number in header word 1, so every stored record can be traced back.
emu::Bytes profileAnswer(std::uint32_t tag, std::uint32_t sequence) {
    emu::Bytes payload;
    for (std::uint32_t word = 0; word < KELO_PROFILE_HEADER_VALUES; ++word)
        emu::appendWord(payload, word == 0 ? tag : word == 1 ? sequence : 0xA0 + word);
    for (std::uint32_t word : {1u, sequence, sequence * 2, tag}) emu::appendWord(payload, word);  // one point
    return emu::answerBytes(kAnswerProfile, payload);
}

// How one batch request is answered.
struct Step {
    enum Kind { Batch, NoProfile, BrokenBatch, Silent, Late } kind = Batch;  // Late: a batch 1.5 s late
    std::uint32_t profiles = 0;   // profiles sent (Batch, BrokenBatch)
    std::uint32_t announced = 0;  // count word; a BrokenBatch closes after it, a NoProfile
                                  // batch holds a no-profile answer
};
Step batch(std::uint32_t profiles) { return Step{Step::Batch, profiles, profiles}; }
Step brokenBatch(std::uint32_t announced, std::uint32_t sent) { return Step{Step::BrokenBatch, sent, announced}; }

class GroupTest : public ::testing::Test {
protected:
    struct Scanner {
        std::unique_ptr<emu::Emulator> emulator;
        ScannerConnection* connection = nullptr;
    };

    // Starts n emulated scanners, opens one connection to each and orders
    // them by ascending handle value: scanners_[0] has the lowest handle.
    void startScanners(std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) {
            Scanner scanner{std::make_unique<emu::Emulator>()};
            bool started = false;
            for (int attempt = 0; attempt < 8 && !started; ++attempt)
                started = scanner.emulator->start(uniqueLoopbackAddress(), KELO_SCANNER_TCP_PORT);
            ASSERT_TRUE(started);
            scanner.connection = lpOpenConnection(scanner.emulator->bindAddress().c_str());
            ASSERT_NE(scanner.connection, nullptr);
            scanners_.push_back(std::move(scanner));
        }
        std::sort(scanners_.begin(), scanners_.end(), [](const Scanner& x, const Scanner& y) {
            return std::less<ScannerConnection*>()(x.connection, y.connection);
        });
        group_ = lpMultipleScannerCreate();
        ASSERT_NE(group_, nullptr);
    }

    // Adds the members highest handle first, then the rest ascending (C, A, B
    // for three), so that no walk can pass by following the order of adding.
    void addAllShuffled() {
        ASSERT_EQ(lpMultipleScannerAddConnection(group_, connection(scanners_.size() - 1)), KELO_OK);
        for (std::size_t i = 0; i + 1 < scanners_.size(); ++i)
            ASSERT_EQ(lpMultipleScannerAddConnection(group_, connection(i)), KELO_OK);
    }

    void TearDown() override {
        lpMultipleScannerDelete(group_);
        for (auto& scanner : scanners_) lpCloseConnection(scanner.connection);
        for (auto& scanner : scanners_) scanner.emulator->stop();
    }

    ScannerConnection* connection(std::size_t i) { return scanners_[i].connection; }
    static std::uint32_t tagOf(std::size_t i) { return 100 + static_cast<std::uint32_t>(i); }
    emu::Emulator& emulator(std::size_t i) { return *scanners_[i].emulator; }

    // Scanner i answers batch requests from these steps; once they are used
    // up, every request gets exactly the profiles it asked for. The emulator
    // calls a copy of the handler, so the state is shared.
    void script(std::size_t i, std::vector<Step> steps = {}) {
        auto left = std::make_shared<std::deque<Step>>(steps.begin(), steps.end());
        auto sequence = std::make_shared<std::uint32_t>(0);
        const std::uint32_t tag = tagOf(i);
        emulator(i).overrideCommand(kCmdMultipleProfileRequest, [=](emu::Session& session,
                                                                    const emu::Command& command) {
            Step step = left->empty() ? batch(command.word(0)) : left->front();
            if (!left->empty()) left->pop_front();
            if (step.kind == Step::Silent) return;
            if (step.kind == Step::Late) std::this_thread::sleep_for(std::chrono::milliseconds(1500));
            emu::Bytes payload;
            emu::appendWord(payload, step.announced);
            if (step.kind == Step::NoProfile) payload += emu::answerBytes(kAnswerNoProfile, {});
            for (std::uint32_t k = 0; k < step.profiles; ++k) payload += profileAnswer(tag, (*sequence)++);
            session.sendRaw(emu::answerBytes(kAnswerProfileBatch, payload));
            if (step.kind == Step::BrokenBatch) session.close();
        });
    }
    // A send on this member fails from now on: its socket is gone.
    void breakSocket(std::size_t i) {
        net::closeSocket(connection(i)->socket);
        connection(i)->socket = net::kInvalidSocket;
    }
    // Waits for what scanner i should have received and compares it exactly.
    void expectReceived(std::size_t i, const emu::Bytes& expected) {
        emulator(i).waitForReceived(expected.size(), 2000);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(hex(emulator(i).received()), hex(expected)) << "scanner " << i;
    }
    // The stored profiles of member i carry its tag and these sequence numbers.
    void expectStored(std::size_t i, std::uint32_t firstSequence, std::uint32_t count) {
        SCOPED_TRACE("scanner " + std::to_string(i));
        ASSERT_EQ(lpMultipleScannerGetProfileCount(group_, connection(i)), static_cast<int32_t>(count));
        for (std::uint32_t k = 0; k < count; ++k) {
            const ProfileRecord* record = lpMultipleScannerGetProfile(group_, connection(i), k);
            ASSERT_NE(record, nullptr) << "record " << k;
            EXPECT_EQ(record->header[0], static_cast<int32_t>(tagOf(i)));
            EXPECT_EQ(record->header[1], static_cast<int32_t>(firstSequence + k)) << "record " << k;
        }
        EXPECT_EQ(lpMultipleScannerGetProfile(group_, connection(i), count), nullptr);
    }

    std::vector<Scanner> scanners_;
    MultipleScanner* group_ = nullptr;
};

// Sync walks: no rollback of the members before a failing one, no call on
// those after it; removal and deletion leave the connections working.
TEST_F(GroupTest, SyncWalksReachEveryMemberAndStopAtTheFirstFailure) {
    startScanners(3);
    addAllShuffled();
    EXPECT_EQ(lpMultipleScannerEnterEncoderSyncMode(group_), KELO_GROUP_OK);
    EXPECT_EQ(lpMultipleScannerExitSyncMode(group_), KELO_GROUP_OK);

    breakSocket(1);
    EXPECT_EQ(asHandle(lpMultipleScannerEnterTimeSyncMode(group_)), connection(1));
    EXPECT_EQ(lpIsInSyncMode(connection(1)), 0);

    lpMultipleScannerRemoveConnection(group_, connection(0));
    lpMultipleScannerDelete(group_);
    group_ = nullptr;
    EXPECT_EQ(lpExitSyncMode(connection(0)), KELO_OK);
    EXPECT_EQ(lpEnterTimeSyncMode(connection(2)), KELO_OK);
    const emu::Bytes encoderAndExit = words({kCmdEnterEncoderSync, 0}) + kExit;
    expectReceived(0, encoderAndExit + kEnterTime + kExit);
    expectReceived(1, encoderAndExit);
    expectReceived(2, encoderAndExit + kEnterTime);
}

// Members 0 and 2 in sync mode, 1 idle; added in the order 2, 0, 1, so a
// walk in the order of adding would show in what 0 and 2 receive.
TEST_F(GroupTest, AnIdleMemberStopsEveryWalkThatNeedsSyncMode) {
    startScanners(3);
    script(0, {batch(3), batch(1)});  // one profile for the large request
    script(2);
    ASSERT_EQ(lpEnterTimeSyncMode(connection(0)), KELO_OK);
    ASSERT_EQ(lpEnterTimeSyncMode(connection(2)), KELO_OK);
    ASSERT_EQ(lpMultipleScannerAddConnection(group_, connection(2)), KELO_OK);
    ASSERT_EQ(lpMultipleScannerAddConnection(group_, connection(0)), KELO_OK);
    ASSERT_EQ(lpMultipleScannerGetMultipleProfiles(group_, 3), KELO_GROUP_OK);

    // The collection names the idle member before it sends anything, and
    // the stored profiles stay as they were.
    ASSERT_EQ(lpMultipleScannerAddConnection(group_, connection(1)), KELO_OK);
    EXPECT_EQ(asHandle(lpMultipleScannerGetMultipleProfiles(group_, 3)), connection(1));
    expectStored(0, 0, 3);
    expectStored(2, 0, 3);

    EXPECT_EQ(asHandle(lpMultipleScannerSendMultipleProfileRequest(group_, 0x01020304)), connection(1));
    EXPECT_EQ(lpMultipleScannerReadMultipleProfiles(group_, 5), KELO_GROUP_OK);
    // The group read left the answer to the member's own reads.
    EXPECT_EQ(lpGetNumberOfOutstandingRequests(connection(0)), 1);
    EXPECT_EQ(lpGetNumberOfOutstandingRequests(connection(2)), 0);

    EXPECT_EQ(asHandle(lpMultipleScannerExitSyncMode(group_)), connection(1));
    EXPECT_EQ(lpIsInSyncMode(connection(0)), 0);
    EXPECT_EQ(lpIsInSyncMode(connection(2)), 1);
    // The first member's exit drained the batch it was owed.
    EXPECT_EQ(lpGetNumberOfOutstandingRequests(connection(0)), 0);

    // A collection of none sends nothing and leaves nothing stored.
    ASSERT_EQ(lpEnterTimeSyncMode(connection(0)), KELO_OK);
    ASSERT_EQ(lpEnterTimeSyncMode(connection(1)), KELO_OK);
    EXPECT_EQ(lpMultipleScannerGetMultipleProfiles(group_, 0), KELO_GROUP_OK);
    expectStored(2, 0, 0);
    expectReceived(0, enterAndRequest({3, 0x01020304}) + kExit + kEnterTime);
    expectReceived(1, kEnterTime);
    expectReceived(2, enterAndRequest({3}));
}

// One collection of n against scripted members (ascending handles): what
// each answers, the member named (-1 none), then what each holds and every
// count it was asked for.
struct Collection {
    const char* name;
    std::vector<std::vector<Step>> steps;
    std::uint32_t earlier, n;  // a successful collection of `earlier` first (0 none), then n
    int failing;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> stored;  // first sequence, count
    std::vector<std::vector<std::uint32_t>> requests;
    double minSeconds;
};

const Collection kCollections[] = {
    {"EmptyAndNoProfileBatchesLeadToAnotherRound",
     {{batch(0), batch(2), batch(3)}, {Step{Step::NoProfile, 0, 1}, batch(5)}}, 0, 5, -1, {{0, 5}, {0, 5}},
     {{5, 5, 3}, {5, 5}}, 0},
    // Waits out the 5-second read time-out once.
    {"ATimedOutReadLeadsToAnotherRound", {{batch(1), Step{Step::Silent}}, {}}, 0, 3, -1, {{0, 3}, {0, 3}},
     {{3, 2, 2}, {3}}, 4.5},
    // The broken batch's profiles do not count; the last member was asked
    // again but not read after the failure.
    {"DroppedMemberIsNamedWithItsPartialCount", {{}, {batch(3), brokenBatch(7, 2)}, {batch(2), batch(5)}}, 0,
     10, 1, {{0, 10}, {0, 3}, {0, 2}}, {{10}, {10, 7}, {10, 8}}, 0},
    // Read before the failure: this call's profiles; failed at its first
    // read: none; not read: the earlier collection's.
    {"FailureAtTheFirstReadKeepsOnlyUnreadMembersProfiles", {{}, {batch(4), brokenBatch(4, 1)}, {}}, 4, 4, 1,
     {{4, 4}, {0, 0}, {0, 4}}, {{4, 4}, {4, 4}, {4, 4}}, 0},
    // A batch larger than asked is read in full and its surplus dropped, so
    // the stream stays in step; each collection replaces what was stored.
    {"SurplusIsDroppedAndEarlierProfilesReplaced", {{batch(23)}, {}}, 20, 5, -1, {{23, 5}, {20, 5}},
     {{20, 5}, {20, 5}}, 0},
};

class GroupCollectionTest : public GroupTest, public ::testing::WithParamInterface<Collection> {};

TEST_P(GroupCollectionTest, MembersHoldWhatTheirAnswersBrought) {
    const Collection& c = GetParam();
    startScanners(c.steps.size());
    for (std::size_t i = 0; i < c.steps.size(); ++i) script(i, c.steps[i]);
    addAllShuffled();
    ASSERT_EQ(lpMultipleScannerEnterTimeSyncMode(group_), KELO_GROUP_OK);
    if (c.earlier != 0) { ASSERT_EQ(lpMultipleScannerGetMultipleProfiles(group_, c.earlier), KELO_GROUP_OK); }
    const ProfileRecord* storage = lpMultipleScannerGetProfile(group_, connection(0), 0);

    const auto started = std::chrono::steady_clock::now();
    const KeloGroupResult result = lpMultipleScannerGetMultipleProfiles(group_, c.n);
    EXPECT_GE(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(), c.minSeconds);
    EXPECT_EQ(asHandle(result), c.failing < 0 ? nullptr : connection(c.failing));
    for (std::size_t i = 0; i < c.steps.size(); ++i) {
        expectStored(i, c.stored[i].first, c.stored[i].second);
        expectReceived(i, enterAndRequest(c.requests[i]));
        EXPECT_TRUE(c.failing >= 0 || lpGetNumberOfOutstandingRequests(connection(i)) == 0) << "scanner " << i;
    }
    // Later collections, also after clearing, reuse each member's storage.
    EXPECT_TRUE(storage == nullptr || lpMultipleScannerGetProfile(group_, connection(0), 0) == storage);
    if (c.failing >= 0) return;
    storage = lpMultipleScannerGetProfile(group_, connection(0), 0);
    lpMultipleScannerClearProfiles(group_);
    for (std::size_t i = 0; i < c.steps.size(); ++i) expectStored(i, 0, 0);
    ASSERT_EQ(lpMultipleScannerGetMultipleProfiles(group_, c.n), KELO_GROUP_OK);
    EXPECT_EQ(lpMultipleScannerGetProfile(group_, connection(0), 0), storage);
}

// A collection with a time-out names the first member, in handle order,
// that has not delivered its share when the time is up, and leaves what is
// owed counted, so leaving sync mode drains the late batches and the
// members' streams stay in step. With `again`, a second timed collection
// reads the late batches without asking those members again (asked, they
// would stay a batch behind for good) and asks scanner 2, whose late batch
// was short, for the rest; the exit then drains a batch asked for ahead.
class TimedCollectionTest : public GroupTest, public ::testing::WithParamInterface<bool> {};

TEST_P(TimedCollectionTest, NamesTheFirstLateMemberAndReadsWhatIsOwedBeforeAskingAgain) {
    const bool again = GetParam();
    startScanners(3);
    script(0);
    script(1, {Step{Step::Late, 3, 3}});
    script(2, {Step{Step::Late, 1, 1}});
    addAllShuffled();
    ASSERT_EQ(lpMultipleScannerEnterTimeSyncMode(group_), KELO_GROUP_OK);
    KeloGroupResult result = KELO_GROUP_OK;
    expectTakes(0.55, 2.0, [&] { result = lpMultipleScannerGetMultipleProfilesTimeout(group_, 3, 600); });
    EXPECT_EQ(asHandle(result), connection(1));
    EXPECT_EQ(lpGetLastFailure(connection(1)), KELO_FAILURE_TIMEOUT);
    expectStored(0, 0, 3);
    expectStored(1, 0, 0);
    if (again) {
        ASSERT_EQ(lpMultipleScannerGetMultipleProfilesTimeout(group_, 3, 3000), KELO_GROUP_OK);
        for (std::size_t i = 0; i < 3; ++i) expectStored(i, i == 0 ? 3 : 0, 3);
        expectReceived(0, enterAndRequest({3, 3}));
        expectReceived(1, enterAndRequest({3}));
        expectReceived(2, enterAndRequest({3, 2}));
        for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(lpGetNumberOfOutstandingRequests(connection(i)), 0) << i;
        ASSERT_EQ(lpSendMultipleProfileRequest(connection(2), 4), KELO_OK);
    }
    EXPECT_EQ(lpMultipleScannerExitSyncMode(group_), KELO_GROUP_OK);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(lpGetNumberOfOutstandingRequests(connection(i)), 0) << i;
        std::int32_t serial = 0;
        ASSERT_EQ(lpGetScannerStatusFromScanner(connection(i)), 0) << i;
        ASSERT_EQ(lpGetScannerStatusValue(connection(i), 0, &serial), 0) << i;
        EXPECT_EQ(static_cast<std::uint32_t>(serial), emulator(i).config().serialNumber) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(ThenExit, TimedCollectionTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "CollectedAgain" : "Directly";
                         });
INSTANTIATE_TEST_SUITE_P(Scripted, GroupCollectionTest, ::testing::ValuesIn(kCollections),
                         [](const ::testing::TestParamInfo<Collection>& info) { return info.param.name; });

}  // namespace
}  // namespace kelo::test
