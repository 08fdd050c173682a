// Groups of connections: membership and stored profiles without a scanner,
// then the group walks and the collection against several emulated
// scanners, each on a loopback address of its own.
#include <algorithm>
#include <cstdint>
#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "core/command_codes.h"
#include "core/scanner_connection.h"
#include "support/emulator_fixture.h"

namespace kelo::test {
namespace {

ScannerConnection* fakeHandle(std::uintptr_t value) {
    return reinterpret_cast<ScannerConnection*>(value);
}

ScannerConnection* asHandle(KeloGroupResult result) {
    return reinterpret_cast<ScannerConnection*>(result);
}

// ---- Membership, no scanner involved: any non-null value can be a member.

TEST(GroupMembership, NullArguments) {
    MultipleScanner* group = lpMultipleScannerCreate();
    ASSERT_NE(group, nullptr);
    ScannerConnection* member = fakeHandle(0x1000);
    EXPECT_EQ(lpMultipleScannerAddConnection(nullptr, member), KELO_ERROR_ARGUMENT);
    EXPECT_EQ(lpMultipleScannerAddConnection(group, nullptr), KELO_ERROR_ARGUMENT);
    EXPECT_EQ(lpMultipleScannerContainsConnection(nullptr, member), KELO_ERROR_ARGUMENT);
    EXPECT_EQ(lpMultipleScannerContainsConnection(group, nullptr), KELO_ERROR_ARGUMENT);
    EXPECT_EQ(lpMultipleScannerAddConnection(group, member), KELO_OK);
    EXPECT_EQ(lpMultipleScannerGetProfileCount(nullptr, member), 0);
    EXPECT_EQ(lpMultipleScannerGetProfileCount(group, nullptr), 0);
    EXPECT_EQ(lpMultipleScannerGetProfile(nullptr, member, 0), nullptr);
    EXPECT_EQ(lpMultipleScannerGetProfile(group, nullptr, 0), nullptr);
    lpMultipleScannerRemoveConnection(nullptr, member);
    lpMultipleScannerRemoveConnection(group, nullptr);
    lpMultipleScannerClearProfiles(nullptr);
    lpMultipleScannerDelete(nullptr);
    EXPECT_EQ(lpMultipleScannerContainsConnection(group, member), 1);

    // A null group acts on nothing and reports success.
    EXPECT_EQ(lpMultipleScannerEnterTimeSyncMode(nullptr), KELO_GROUP_OK);
    EXPECT_EQ(lpMultipleScannerEnterEncoderSyncMode(nullptr), KELO_GROUP_OK);
    EXPECT_EQ(lpMultipleScannerExitSyncMode(nullptr), KELO_GROUP_OK);
    EXPECT_EQ(lpMultipleScannerSendMultipleProfileRequest(nullptr, 4), KELO_GROUP_OK);
    EXPECT_EQ(lpMultipleScannerGetMultipleProfiles(nullptr, 4), KELO_GROUP_OK);
    EXPECT_EQ(lpMultipleScannerReadMultipleProfiles(nullptr, 4), KELO_GROUP_OK);
    lpMultipleScannerDelete(group);
}

TEST(GroupMembership, AddRemoveContains) {
    MultipleScanner* group = lpMultipleScannerCreate();
    ASSERT_NE(group, nullptr);
    ScannerConnection* a = fakeHandle(0x1000);
    ScannerConnection* b = fakeHandle(0x2000);
    ScannerConnection* stranger = fakeHandle(0x3000);

    EXPECT_EQ(lpMultipleScannerAddConnection(group, b), KELO_OK);
    EXPECT_EQ(lpMultipleScannerAddConnection(group, a), KELO_OK);
    EXPECT_EQ(lpMultipleScannerAddConnection(group, b), KELO_ERROR_STATE);
    EXPECT_EQ(lpMultipleScannerContainsConnection(group, a), 1);
    EXPECT_EQ(lpMultipleScannerContainsConnection(group, b), 1);
    EXPECT_EQ(lpMultipleScannerContainsConnection(group, stranger), 0);
    // Never collected: nothing stored.
    EXPECT_EQ(lpMultipleScannerGetProfileCount(group, a), 0);
    EXPECT_EQ(lpMultipleScannerGetProfile(group, a, 0), nullptr);
    EXPECT_EQ(lpMultipleScannerGetProfileCount(group, stranger), 0);

    lpMultipleScannerRemoveConnection(group, stranger);
    EXPECT_EQ(lpMultipleScannerContainsConnection(group, a), 1);
    EXPECT_EQ(lpMultipleScannerContainsConnection(group, b), 1);

    // The second add did not make a second entry: one removal drops b.
    lpMultipleScannerRemoveConnection(group, b);
    EXPECT_EQ(lpMultipleScannerContainsConnection(group, b), 0);
    EXPECT_EQ(lpMultipleScannerContainsConnection(group, a), 1);
    EXPECT_EQ(lpMultipleScannerAddConnection(group, b), KELO_OK);
    lpMultipleScannerDelete(group);

    MultipleScanner* empty = lpMultipleScannerCreate();
    ASSERT_NE(empty, nullptr);
    lpMultipleScannerClearProfiles(empty);
    EXPECT_EQ(lpMultipleScannerContainsConnection(empty, a), 0);
    lpMultipleScannerDelete(empty);
}

// ---- Scripted scanners.

// Profiles carry the scanner's tag in header word 0 and a running sequence
// number in header word 1, so every stored record can be traced back.
emu::Bytes profileAnswer(std::uint32_t tag, std::uint32_t sequence) {
    emu::Bytes payload;
    for (std::uint32_t word = 0; word < KELO_PROFILE_HEADER_VALUES; ++word)
        emu::appendWord(payload, word == 0 ? tag : word == 1 ? sequence : 0xA0 + word);
    emu::appendWord(payload, 1);  // one point
    emu::appendWord(payload, sequence);
    emu::appendWord(payload, sequence * 2);
    emu::appendWord(payload, tag);
    return emu::answerBytes(kAnswerProfile, payload);
}

// How one batch request is answered.
struct Step {
    enum Kind { Batch, NoProfile, BrokenBatch, Silent } kind = Batch;
    std::uint32_t profiles = 0;   // profiles sent (Batch, BrokenBatch)
    std::uint32_t announced = 0;  // count word of a BrokenBatch, which then closes
};
Step batch(std::uint32_t profiles) { return Step{Step::Batch, profiles, profiles}; }
Step noProfileInside() { return Step{Step::NoProfile, 0, 1}; }
Step brokenBatch(std::uint32_t announced, std::uint32_t sent) {
    return Step{Step::BrokenBatch, sent, announced};
}
Step noAnswer() { return Step{Step::Silent, 0, 0}; }

// Answers command 38 from a list of steps; once the list is used up, every
// request is answered with exactly the number of profiles it asked for.
class BatchScript {
public:
    BatchScript(emu::Emulator& emulator, std::uint32_t tag, std::vector<Step> steps)
        : tag_(tag), steps_(steps.begin(), steps.end()) {
        emulator.overrideCommand(kCmdMultipleProfileRequest,
                                 [this](emu::Session& session, const emu::Command& command) {
                                     answer(session, command.word(0));
                                 });
    }
    std::vector<std::uint32_t> requested() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return requested_;
    }

private:
    void answer(emu::Session& session, std::uint32_t count) {
        std::lock_guard<std::mutex> lock(mutex_);
        requested_.push_back(count);
        Step step = batch(count);
        if (!steps_.empty()) {
            step = steps_.front();
            steps_.pop_front();
        }
        if (step.kind == Step::Silent) return;
        emu::Bytes payload;
        emu::appendWord(payload, step.announced);
        if (step.kind == Step::NoProfile) {
            const emu::Bytes none = emu::answerBytes(kAnswerNoProfile, {});
            payload.insert(payload.end(), none.begin(), none.end());
        }
        for (std::uint32_t i = 0; i < step.profiles; ++i) {
            const emu::Bytes profile = profileAnswer(tag_, sequence_++);
            payload.insert(payload.end(), profile.begin(), profile.end());
        }
        session.sendRaw(emu::answerBytes(kAnswerProfileBatch, payload));
        if (step.kind == Step::BrokenBatch) session.close();
    }

    const std::uint32_t tag_;
    mutable std::mutex mutex_;
    std::deque<Step> steps_;
    std::vector<std::uint32_t> requested_;
    std::uint32_t sequence_ = 0;
};

emu::Bytes commandBytes(std::uint32_t code) {
    const auto command = wire::buildCommand(code);
    return emu::Bytes(command.data(), command.data() + command.size());
}
emu::Bytes requestBytes(std::uint32_t count) {
    const auto command = wire::buildCommand(kCmdMultipleProfileRequest, count);
    return emu::Bytes(command.data(), command.data() + command.size());
}
emu::Bytes concat(std::initializer_list<emu::Bytes> parts) {
    emu::Bytes all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

class GroupTest : public ::testing::Test {
protected:
    struct Scanner {
        std::unique_ptr<emu::Emulator> emulator;
        ScannerConnection* connection = nullptr;
        std::uint32_t tag = 0;
    };

    // Starts n emulated scanners, opens one connection to each and orders
    // them by ascending handle value: scanners_[0] has the lowest handle.
    void startScanners(std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) {
            Scanner scanner;
            scanner.emulator = std::make_unique<emu::Emulator>();
            bool started = false;
            for (int attempt = 0; attempt < 8 && !started; ++attempt)
                started = scanner.emulator->start(uniqueLoopbackAddress(), KELO_SCANNER_TCP_PORT);
            ASSERT_TRUE(started);
            scanner.connection = lpOpenConnection(scanner.emulator->bindAddress().c_str());
            ASSERT_NE(scanner.connection, nullptr);
            scanners_.push_back(std::move(scanner));
        }
        std::sort(scanners_.begin(), scanners_.end(), [](const Scanner& x, const Scanner& y) {
            return reinterpret_cast<std::uintptr_t>(x.connection) <
                   reinterpret_cast<std::uintptr_t>(y.connection);
        });
        for (std::size_t i = 0; i < n; ++i) scanners_[i].tag = 100 + static_cast<std::uint32_t>(i);
        group_ = lpMultipleScannerCreate();
        ASSERT_NE(group_, nullptr);
    }

    // Adds the members highest handle first, then the rest ascending (C, A, B
    // for three), so that no walk can pass by following the order of adding.
    void addAllShuffled() {
        std::vector<std::size_t> order;
        order.push_back(scanners_.size() - 1);
        for (std::size_t i = 0; i + 1 < scanners_.size(); ++i) order.push_back(i);
        for (std::size_t i : order)
            ASSERT_EQ(lpMultipleScannerAddConnection(group_, connection(i)), KELO_OK);
    }

    void TearDown() override {
        lpMultipleScannerDelete(group_);
        for (auto& scanner : scanners_) lpCloseConnection(scanner.connection);
        for (auto& scanner : scanners_) scanner.emulator->stop();
    }

    ScannerConnection* connection(std::size_t i) { return scanners_[i].connection; }
    emu::Emulator& emulator(std::size_t i) { return *scanners_[i].emulator; }
    BatchScript& script(std::size_t i, std::vector<Step> steps = {}) {
        scripts_.push_back(
            std::make_unique<BatchScript>(emulator(i), scanners_[i].tag, std::move(steps)));
        return *scripts_.back();
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
        ASSERT_EQ(lpMultipleScannerGetProfileCount(group_, connection(i)), static_cast<int32_t>(count))
            << "scanner " << i;
        for (std::uint32_t k = 0; k < count; ++k) {
            const ProfileRecord* record = lpMultipleScannerGetProfile(group_, connection(i), k);
            ASSERT_NE(record, nullptr) << "scanner " << i << " record " << k;
            EXPECT_EQ(record->header[0], static_cast<int32_t>(scanners_[i].tag));
            EXPECT_EQ(record->header[1], static_cast<int32_t>(firstSequence + k)) << "record " << k;
            EXPECT_EQ(record->header[8], 0xA8);
            EXPECT_EQ(record->pointCount, 1);
            EXPECT_EQ(record->points[0][1], static_cast<int32_t>((firstSequence + k) * 2));
        }
        EXPECT_EQ(lpMultipleScannerGetProfile(group_, connection(i), count), nullptr);
    }

    std::vector<Scanner> scanners_;
    std::vector<std::unique_ptr<BatchScript>> scripts_;
    MultipleScanner* group_ = nullptr;
};

TEST_F(GroupTest, EmptyGroupSendsNothingAndDeleteLeavesConnectionsOpen) {
    startScanners(2);
    EXPECT_EQ(lpMultipleScannerEnterTimeSyncMode(group_), KELO_GROUP_OK);
    EXPECT_EQ(lpMultipleScannerSendMultipleProfileRequest(group_, 3), KELO_GROUP_OK);
    EXPECT_EQ(lpMultipleScannerGetMultipleProfiles(group_, 3), KELO_GROUP_OK);
    EXPECT_EQ(lpMultipleScannerExitSyncMode(group_), KELO_GROUP_OK);

    ASSERT_EQ(lpMultipleScannerAddConnection(group_, connection(0)), KELO_OK);
    ASSERT_EQ(lpMultipleScannerAddConnection(group_, connection(1)), KELO_OK);
    lpMultipleScannerRemoveConnection(group_, connection(1));
    lpMultipleScannerDelete(group_);
    group_ = nullptr;
    // Neither removal nor deletion touched the connections.
    EXPECT_EQ(lpEnterEncoderSyncMode(connection(0)), KELO_OK);
    EXPECT_EQ(lpEnterEncoderSyncMode(connection(1)), KELO_OK);
    expectReceived(0, commandBytes(kCmdEnterEncoderSync));
    expectReceived(1, commandBytes(kCmdEnterEncoderSync));
}

TEST_F(GroupTest, SyncEntryStopsAtTheFailingMember) {
    startScanners(3);
    addAllShuffled();
    breakSocket(1);
    EXPECT_EQ(asHandle(lpMultipleScannerEnterTimeSyncMode(group_)), connection(1));
    EXPECT_EQ(lpIsInSyncMode(connection(0)), 1);
    EXPECT_EQ(lpIsInSyncMode(connection(1)), 0);
    EXPECT_EQ(lpIsInSyncMode(connection(2)), 0);
    expectReceived(0, commandBytes(kCmdEnterTimeSync));
    expectReceived(2, {});
}

TEST_F(GroupTest, EncoderEntryAndExitReachEveryMember) {
    startScanners(3);
    addAllShuffled();
    EXPECT_EQ(lpMultipleScannerEnterEncoderSyncMode(group_), KELO_GROUP_OK);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(lpIsInSyncMode(connection(i)), 1);
    EXPECT_EQ(lpMultipleScannerExitSyncMode(group_), KELO_GROUP_OK);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(lpIsInSyncMode(connection(i)), 0);
        expectReceived(i, concat({commandBytes(kCmdEnterEncoderSync), commandBytes(kCmdExitSync)}));
    }
}

TEST_F(GroupTest, EveryWalkNamesTheLowestFailingHandle) {
    startScanners(3);
    addAllShuffled();
    // All idle: every operation that needs sync mode fails on each member,
    // so the member named is the first one visited.
    for (std::size_t lowest = 0; lowest < 3; ++lowest) {
        EXPECT_EQ(asHandle(lpMultipleScannerExitSyncMode(group_)), connection(lowest));
        EXPECT_EQ(asHandle(lpMultipleScannerSendMultipleProfileRequest(group_, 2)),
                  connection(lowest));
        EXPECT_EQ(asHandle(lpMultipleScannerGetMultipleProfiles(group_, 2)), connection(lowest));
        lpMultipleScannerRemoveConnection(group_, connection(lowest));
    }
    for (std::size_t i = 0; i < 3; ++i) expectReceived(i, {});

    // Every send failing: the entry walk stops at the lowest handle.
    addAllShuffled();
    for (std::size_t i = 0; i < 3; ++i) breakSocket(i);
    EXPECT_EQ(asHandle(lpMultipleScannerEnterTimeSyncMode(group_)), connection(0));
    EXPECT_EQ(asHandle(lpMultipleScannerEnterEncoderSyncMode(group_)), connection(0));
}

TEST_F(GroupTest, ExitAndRequestStopAtAnIdleMember) {
    startScanners(3);
    ASSERT_EQ(lpEnterTimeSyncMode(connection(0)), KELO_OK);
    ASSERT_EQ(lpEnterTimeSyncMode(connection(2)), KELO_OK);
    addAllShuffled();
    script(0);

    EXPECT_EQ(asHandle(lpMultipleScannerSendMultipleProfileRequest(group_, 7)), connection(1));
    EXPECT_EQ(lpGetNumberOfOutstandingRequests(connection(0)), 1);
    EXPECT_EQ(lpGetNumberOfOutstandingRequests(connection(2)), 0);

    EXPECT_EQ(asHandle(lpMultipleScannerExitSyncMode(group_)), connection(1));
    EXPECT_EQ(lpIsInSyncMode(connection(0)), 0);
    EXPECT_EQ(lpIsInSyncMode(connection(2)), 1);
    // The first member's exit drained the batch it was owed.
    EXPECT_EQ(lpGetNumberOfOutstandingRequests(connection(0)), 0);
    expectReceived(0, concat({commandBytes(kCmdEnterTimeSync), requestBytes(7),
                              commandBytes(kCmdExitSync)}));
    expectReceived(1, {});
    expectReceived(2, commandBytes(kCmdEnterTimeSync));
}

TEST_F(GroupTest, RequestWalkSendsTheCountToEveryMember) {
    startScanners(2);
    // A small answer to the large request, so no sender is left blocked.
    script(0, {batch(1)});
    script(1, {batch(1)});
    addAllShuffled();
    ASSERT_EQ(lpMultipleScannerEnterTimeSyncMode(group_), KELO_GROUP_OK);
    EXPECT_EQ(lpMultipleScannerSendMultipleProfileRequest(group_, 0x01020304), KELO_GROUP_OK);
    EXPECT_EQ(lpMultipleScannerReadMultipleProfiles(group_, 5), KELO_GROUP_OK);
    for (std::size_t i = 0; i < 2; ++i) {
        expectReceived(i, concat({commandBytes(kCmdEnterTimeSync), requestBytes(0x01020304)}));
        // The group read left the answers to the member reads.
        EXPECT_EQ(lpGetNumberOfOutstandingRequests(connection(i)), 1);
    }
}

// The emulator's own time-sync acquisition, no scripted answers: each member
// delivers what it has measured, and the rounds go on until all hold n.
TEST_F(GroupTest, CollectsFromMeasuringScanners) {
    startScanners(3);
    for (std::size_t i = 0; i < 3; ++i) {
        emulator(i).config().pointsPerProfile = 40 + 10 * static_cast<int>(i);
        emulator(i).config().profileRateHz = 5000.0;
    }
    addAllShuffled();
    ASSERT_EQ(lpMultipleScannerEnterTimeSyncMode(group_), KELO_GROUP_OK);
    ASSERT_EQ(lpMultipleScannerGetMultipleProfiles(group_, 200), KELO_GROUP_OK);
    for (std::size_t i = 0; i < 3; ++i) {
        ASSERT_EQ(lpMultipleScannerGetProfileCount(group_, connection(i)), 200);
        for (std::uint32_t k = 0; k < 200; ++k) {
            const ProfileRecord* record = lpMultipleScannerGetProfile(group_, connection(i), k);
            ASSERT_NE(record, nullptr);
            ASSERT_EQ(record->pointCount, 40 + 10 * static_cast<int>(i)) << "scanner " << i;
        }
        EXPECT_EQ(lpGetNumberOfOutstandingRequests(connection(i)), 0);
    }
    EXPECT_EQ(lpMultipleScannerExitSyncMode(group_), KELO_GROUP_OK);
}

TEST_F(GroupTest, FourThenSixProfilesMakeTenInOrder) {
    startScanners(2);
    BatchScript& first = script(0, {batch(4), batch(6)});
    BatchScript& second = script(1);
    addAllShuffled();
    ASSERT_EQ(lpMultipleScannerEnterTimeSyncMode(group_), KELO_GROUP_OK);

    EXPECT_EQ(lpMultipleScannerGetMultipleProfiles(group_, 10), KELO_GROUP_OK);
    expectStored(0, 0, 10);
    expectStored(1, 0, 10);
    EXPECT_EQ(first.requested(), (std::vector<std::uint32_t>{10, 6}));
    EXPECT_EQ(second.requested(), (std::vector<std::uint32_t>{10}));
    expectReceived(0, concat({commandBytes(kCmdEnterTimeSync), requestBytes(10), requestBytes(6)}));
    expectReceived(1, concat({commandBytes(kCmdEnterTimeSync), requestBytes(10)}));
    for (std::size_t i = 0; i < 2; ++i) EXPECT_EQ(lpGetNumberOfOutstandingRequests(connection(i)), 0);
}

TEST_F(GroupTest, EmptyAndNoProfileBatchesLeadToAnotherRound) {
    startScanners(2);
    BatchScript& first = script(0, {batch(0), batch(2), batch(3)});
    BatchScript& second = script(1, {noProfileInside(), batch(5)});
    addAllShuffled();
    ASSERT_EQ(lpMultipleScannerEnterTimeSyncMode(group_), KELO_GROUP_OK);

    EXPECT_EQ(lpMultipleScannerGetMultipleProfiles(group_, 5), KELO_GROUP_OK);
    expectStored(0, 0, 5);
    expectStored(1, 0, 5);
    EXPECT_EQ(first.requested(), (std::vector<std::uint32_t>{5, 5, 3}));
    EXPECT_EQ(second.requested(), (std::vector<std::uint32_t>{5, 5}));
}

// Takes the 5-second read time-out once.
TEST_F(GroupTest, ATimedOutReadLeadsToAnotherRound) {
    startScanners(2);
    BatchScript& slow = script(0, {batch(1), noAnswer()});
    script(1);
    addAllShuffled();
    ASSERT_EQ(lpMultipleScannerEnterTimeSyncMode(group_), KELO_GROUP_OK);

    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(lpMultipleScannerGetMultipleProfiles(group_, 3), KELO_GROUP_OK);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_GE(seconds, 4.5);
    expectStored(0, 0, 3);
    expectStored(1, 0, 3);
    EXPECT_EQ(slow.requested(), (std::vector<std::uint32_t>{3, 2, 2}));
}

TEST_F(GroupTest, DroppedMemberReturnsItsHandleWithItsPartialCount) {
    startScanners(3);
    script(0);
    BatchScript& dropping = script(1, {batch(3), brokenBatch(7, 2)});
    script(2, {batch(2), batch(5)});
    addAllShuffled();
    ASSERT_EQ(lpMultipleScannerEnterTimeSyncMode(group_), KELO_GROUP_OK);

    EXPECT_EQ(asHandle(lpMultipleScannerGetMultipleProfiles(group_, 10)), connection(1));
    expectStored(0, 0, 10);
    // The profiles of the broken batch are not counted.
    expectStored(1, 0, 3);
    // The last member was asked again but not read after the failure.
    expectStored(2, 0, 2);
    EXPECT_EQ(dropping.requested(), (std::vector<std::uint32_t>{10, 7}));
    expectReceived(2, concat({commandBytes(kCmdEnterTimeSync), requestBytes(10), requestBytes(8)}));
}

TEST_F(GroupTest, FailureAtTheFirstReadLeavesNothingOfTheEarlierCollection) {
    startScanners(3);
    script(0);
    script(1, {batch(4), brokenBatch(4, 1)});
    script(2);
    addAllShuffled();
    ASSERT_EQ(lpMultipleScannerEnterTimeSyncMode(group_), KELO_GROUP_OK);
    ASSERT_EQ(lpMultipleScannerGetMultipleProfiles(group_, 4), KELO_GROUP_OK);

    EXPECT_EQ(asHandle(lpMultipleScannerGetMultipleProfiles(group_, 4)), connection(1));
    // Read before the failure: this call's profiles.
    expectStored(0, 4, 4);
    // Failed at its first read of this call: nothing of this call arrived.
    expectStored(1, 0, 0);
    // Not read in this call: the earlier profiles stay.
    expectStored(2, 0, 4);
}

TEST_F(GroupTest, StoredProfilesAreReplacedAndTheStorageKept) {
    startScanners(2);
    script(0);
    script(1);
    addAllShuffled();
    ASSERT_EQ(lpMultipleScannerEnterTimeSyncMode(group_), KELO_GROUP_OK);

    ASSERT_EQ(lpMultipleScannerGetMultipleProfiles(group_, 20), KELO_GROUP_OK);
    expectStored(0, 0, 20);
    const ProfileRecord* storage = lpMultipleScannerGetProfile(group_, connection(0), 0);

    // Adding a member again changes nothing of what it holds.
    EXPECT_EQ(lpMultipleScannerAddConnection(group_, connection(0)), KELO_ERROR_STATE);
    expectStored(0, 0, 20);

    ASSERT_EQ(lpMultipleScannerGetMultipleProfiles(group_, 5), KELO_GROUP_OK);
    expectStored(0, 20, 5);
    expectStored(1, 20, 5);
    EXPECT_EQ(lpMultipleScannerGetProfile(group_, connection(0), 0), storage);

    ASSERT_EQ(lpMultipleScannerGetMultipleProfiles(group_, 8), KELO_GROUP_OK);
    expectStored(0, 25, 8);

    lpMultipleScannerClearProfiles(group_);
    EXPECT_EQ(lpMultipleScannerGetProfileCount(group_, connection(0)), 0);
    EXPECT_EQ(lpMultipleScannerGetProfileCount(group_, connection(1)), 0);
    EXPECT_EQ(lpMultipleScannerGetProfile(group_, connection(0), 0), nullptr);
    ASSERT_EQ(lpMultipleScannerGetMultipleProfiles(group_, 12), KELO_GROUP_OK);
    expectStored(0, 33, 12);
    EXPECT_EQ(lpMultipleScannerGetProfile(group_, connection(0), 0), storage);
}

TEST_F(GroupTest, SurplusProfilesOfABatchAreReadButNotStored) {
    startScanners(2);
    script(0, {batch(9)});
    script(1);
    addAllShuffled();
    ASSERT_EQ(lpMultipleScannerEnterTimeSyncMode(group_), KELO_GROUP_OK);

    EXPECT_EQ(lpMultipleScannerGetMultipleProfiles(group_, 4), KELO_GROUP_OK);
    expectStored(0, 0, 4);
    // The stream is still in step: the next collection starts after the
    // five profiles that were read and dropped.
    EXPECT_EQ(lpMultipleScannerGetMultipleProfiles(group_, 3), KELO_GROUP_OK);
    expectStored(0, 9, 3);
    expectStored(1, 4, 3);
}

TEST_F(GroupTest, IdleMemberOrZeroCountSendNoRequest) {
    startScanners(2);
    script(0);
    script(1);
    ASSERT_EQ(lpMultipleScannerAddConnection(group_, connection(1)), KELO_OK);
    ASSERT_EQ(lpMultipleScannerEnterTimeSyncMode(group_), KELO_GROUP_OK);
    ASSERT_EQ(lpMultipleScannerGetMultipleProfiles(group_, 3), KELO_GROUP_OK);

    // The idle member is named before anything is sent, and the stored
    // profiles stay as they were.
    ASSERT_EQ(lpMultipleScannerAddConnection(group_, connection(0)), KELO_OK);
    EXPECT_EQ(asHandle(lpMultipleScannerGetMultipleProfiles(group_, 3)), connection(0));
    expectStored(1, 0, 3);
    EXPECT_EQ(lpMultipleScannerGetProfileCount(group_, connection(0)), 0);

    ASSERT_EQ(lpEnterTimeSyncMode(connection(0)), KELO_OK);
    EXPECT_EQ(lpMultipleScannerGetMultipleProfiles(group_, 0), KELO_GROUP_OK);
    EXPECT_EQ(lpMultipleScannerGetProfileCount(group_, connection(1)), 0);
    expectReceived(0, commandBytes(kCmdEnterTimeSync));
    expectReceived(1, concat({commandBytes(kCmdEnterTimeSync), requestBytes(3)}));
}

}  // namespace
}  // namespace kelo::test
