// Single, per-laser and batch profile requests: wire bytes, the count of
// outstanding answers, sync-state refusals and batches of any size.
#include <chrono>
#include <cstring>

#include "core/command_codes.h"
#include "core/scanner_connection.h"
#include "profile_answers.h"
#include "support/emulator_fixture.h"

namespace kelo::test {
namespace {

class ProfileRequestTest : public EmulatorTest {
protected:
    // Batch requests (command 38) are answered with the scripted answers in
    // turn, the last one repeated.
    void answerBatchRequestsWith(std::vector<emu::Bytes> answers) {
        auto next = std::make_shared<std::size_t>(0);
        emulator_.overrideCommand(kCmdMultipleProfileRequest,
                                  [answers, next](emu::Session& s, const emu::Command&) {
                                      s.sendRaw(answers[std::min(*next, answers.size() - 1)]);
                                      ++*next;
                                  });
    }
    ScannerConnection* openSynchronised() {
        if (open() == nullptr) return nullptr;
        EXPECT_EQ(lpEnterTimeSyncMode(connection_), 0);
        emulator_.waitForReceived(8, 2000);
        emulator_.clearReceived();
        return connection_;
    }
    // Runs fn with the connection's socket replaced by one that cannot send.
    template <typename Fn>
    void withBrokenSocket(Fn fn) {
        const net::Socket real = connection_->socket;
        connection_->socket = net::kInvalidSocket;
        fn();
        connection_->socket = real;
    }
};

std::vector<emu::Bytes> taggedProfiles(std::uint32_t firstTag, std::size_t count, std::size_t points) {
    std::vector<emu::Bytes> profiles;
    for (std::size_t i = 0; i < count; ++i) {
        profiles.push_back(profileAnswer(firstTag + static_cast<std::uint32_t>(i), points));
    }
    return profiles;
}

TEST_F(ProfileRequestTest, NullArgumentsAreRefusedFirst) {
    ProfileRecord record;
    LargeProfileRecord large;
    EXPECT_EQ(lpSendProfileRequest(nullptr), KELO_ERROR_ARGUMENT);
    EXPECT_EQ(lpSendProfileRequestN(nullptr, 0), KELO_ERROR_ARGUMENT);
    EXPECT_EQ(lpReadProfile(nullptr, &record), KELO_ERROR_ARGUMENT);
    EXPECT_EQ(lpReadProfileN(nullptr, &record), KELO_ERROR_ARGUMENT);
    EXPECT_EQ(lpGetProfile(nullptr, &record), KELO_ERROR_ARGUMENT);
    EXPECT_EQ(lpGetProfileN(nullptr, 0, &record), KELO_ERROR_ARGUMENT);
    EXPECT_EQ(lpSendMultipleProfileRequest(nullptr, 1), KELO_ERROR_ARGUMENT);
    EXPECT_EQ(lpReadMultipleProfiles(nullptr, &record, 1), KELO_ERROR_ARGUMENT);
    EXPECT_EQ(lpReadMultipleProfilesTimeout(nullptr, &record, 1, 10), KELO_ERROR_ARGUMENT);
    EXPECT_EQ(lpReadMultipleLargeProfiles(nullptr, &large, 1, 10), KELO_ERROR_ARGUMENT);
    EXPECT_EQ(lpGetMultipleProfiles(nullptr, &record, 1), KELO_ERROR_ARGUMENT);
    EXPECT_EQ(lpGetProfileFromAllLasers(nullptr, &record, 1), KELO_ERROR_ARGUMENT);
    EXPECT_EQ(lpCleanUpOutstandingRequests(nullptr), KELO_ERROR_ARGUMENT);
    EXPECT_EQ(lpGetNumberOfOutstandingRequests(nullptr), KELO_ERROR_ARGUMENT);

    // A null record or array is refused before the sync state is looked at.
    ASSERT_NE(open(), nullptr);
    EXPECT_EQ(lpReadProfile(connection_, nullptr), KELO_ERROR_ARGUMENT);
    EXPECT_EQ(lpGetProfile(connection_, nullptr), KELO_ERROR_ARGUMENT);
    EXPECT_EQ(lpGetProfileN(connection_, 0, nullptr), KELO_ERROR_ARGUMENT);
    EXPECT_EQ(lpReadMultipleProfiles(connection_, nullptr, 1), KELO_ERROR_ARGUMENT);
    EXPECT_EQ(lpReadMultipleLargeProfiles(connection_, nullptr, 1, 10), KELO_ERROR_ARGUMENT);
    EXPECT_EQ(lpGetMultipleProfiles(connection_, nullptr, 1), KELO_ERROR_ARGUMENT);
    EXPECT_EQ(lpGetProfileFromAllLasers(connection_, nullptr, 1), KELO_ERROR_ARGUMENT);
    EXPECT_EQ(lpGetNumberOfOutstandingRequests(connection_), 0);
    expectReceived({});
}

TEST_F(ProfileRequestTest, CommandBytes) {
    ASSERT_NE(open(), nullptr);
    ProfileRecord record;
    EXPECT_EQ(lpSendProfileRequest(connection_), 0);
    EXPECT_EQ(lpSendProfileRequestN(connection_, 2), 0);
    EXPECT_EQ(lpReadProfile(connection_, &record), 0);
    // Laser 2 is beyond the emulated scanner's one laser.
    EXPECT_EQ(lpReadProfileN(connection_, &record), KELO_ERROR_NO_PROFILE);
    EXPECT_EQ(lpGetProfileFromAllLasers(connection_, &record, 1), 1);
    expectReceived(bytesOf({0, 0, 0, 10, 0, 0, 0, 0,              //
                            0, 0, 0, 0x2B, 0, 0, 0, 4, 0, 0, 0, 2,  //
                            0, 0, 0, 0x30, 0, 0, 0, 0}));
    emulator_.clearReceived();
    ASSERT_EQ(lpEnterTimeSyncMode(connection_), 0);
    ProfileRecord four[4];
    EXPECT_GE(lpGetMultipleProfiles(connection_, four, 4), 0);
    expectReceived(bytesOf({0, 0, 0, 0x1D, 0, 0, 0, 0,  //
                            0, 0, 0, 0x26, 0, 0, 0, 4, 0, 0, 0, 4}));
    emulator_.clearReceived();
    EXPECT_EQ(lpSendMultipleProfileRequest(connection_, 0xFFFFFFFFu), 0);
    expectReceived(bytesOf({0, 0, 0, 0x26, 0, 0, 0, 4, 0xFF, 0xFF, 0xFF, 0xFF}));
}

// Reads count down before they read, whatever the count held: from 0 the
// unsigned count wraps and is reported as -1.
TEST_F(ProfileRequestTest, OutstandingCountWrapsBelowZero) {
    ASSERT_NE(open(), nullptr);
    ProfileRecord record;
    ASSERT_EQ(lpSendProfileRequest(connection_), 0);
    ASSERT_EQ(lpSendProfileRequest(connection_), 0);
    EXPECT_EQ(lpGetNumberOfOutstandingRequests(connection_), 2);
    EXPECT_EQ(lpReadProfile(connection_, &record), 0);
    EXPECT_EQ(lpReadProfileN(connection_, &record), 0);
    EXPECT_EQ(lpGetNumberOfOutstandingRequests(connection_), 0);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(lpReadProfile(connection_, &record), KELO_ERROR_TIMEOUT);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_GE(seconds, 4.9);
    EXPECT_LT(seconds, 8.0);
    EXPECT_EQ(lpGetNumberOfOutstandingRequests(connection_), -1);
    EXPECT_EQ(connection_->outstandingRequests, 4294967295u);
}

TEST_F(ProfileRequestTest, GetProfileCountsNothingAndGetProfileNCountsBoth) {
    ASSERT_NE(open(), nullptr);
    ProfileRecord record;
    EXPECT_EQ(lpGetProfile(connection_, &record), 0);
    EXPECT_EQ(lpGetNumberOfOutstandingRequests(connection_), 0);
    EXPECT_EQ(lpGetProfileN(connection_, 0, &record), 0);
    EXPECT_EQ(lpGetNumberOfOutstandingRequests(connection_), 0);
    EXPECT_EQ(record.pointCount, 243);
    // A laser the scanner does not have: no profile, and the stream in step.
    EXPECT_EQ(lpGetProfileN(connection_, 7, &record), KELO_ERROR_NO_PROFILE);
    EXPECT_EQ(lpGetProfile(connection_, &record), 0);
}

TEST_F(ProfileRequestTest, FailedSendsAndTheCount) {
    ASSERT_NE(open(), nullptr);
    ProfileRecord record;
    withBrokenSocket([&] {
        EXPECT_EQ(lpSendProfileRequest(connection_), KELO_ERROR_IO);
        EXPECT_EQ(lpGetNumberOfOutstandingRequests(connection_), 0);
        EXPECT_EQ(lpGetProfile(connection_, &record), KELO_ERROR_IO);
        EXPECT_EQ(lpGetNumberOfOutstandingRequests(connection_), 0);
        // The N form counts before it sends and keeps the count.
        EXPECT_EQ(lpSendProfileRequestN(connection_, 0), KELO_ERROR_IO);
        EXPECT_EQ(lpGetNumberOfOutstandingRequests(connection_), 1);
        EXPECT_EQ(lpGetProfileN(connection_, 0, &record), KELO_ERROR_IO);
        EXPECT_EQ(lpGetNumberOfOutstandingRequests(connection_), 2);
        EXPECT_EQ(lpGetProfileFromAllLasers(connection_, &record, 1), KELO_ERROR_IO);
    });
    connection_->outstandingRequests = 0;
    ASSERT_EQ(lpEnterTimeSyncMode(connection_), 0);
    withBrokenSocket([&] {
        EXPECT_EQ(lpSendMultipleProfileRequest(connection_, 3), KELO_ERROR_IO);
        EXPECT_EQ(lpGetNumberOfOutstandingRequests(connection_), 1);
        EXPECT_EQ(lpGetMultipleProfiles(connection_, &record, 1), KELO_ERROR_IO);
        EXPECT_EQ(lpGetNumberOfOutstandingRequests(connection_), 2);
    });
    connection_->outstandingRequests = 0;
}

TEST_F(ProfileRequestTest, WrongSyncStateIsRefusedWithNothingSent) {
    ASSERT_NE(open(), nullptr);
    ProfileRecord records[2];
    LargeProfileRecord large;
    // Idle: the batch operations are refused.
    connection_->outstandingRequests = 1;
    EXPECT_EQ(lpSendMultipleProfileRequest(connection_, 5), KELO_ERROR_STATE);
    EXPECT_EQ(lpGetMultipleProfiles(connection_, records, 2), KELO_ERROR_STATE);
    EXPECT_EQ(lpReadMultipleProfiles(connection_, records, 2), KELO_ERROR_STATE);
    EXPECT_EQ(lpReadMultipleProfilesTimeout(connection_, records, 2, 100), KELO_ERROR_STATE);
    EXPECT_EQ(lpReadMultipleLargeProfiles(connection_, &large, 1, 100), KELO_ERROR_STATE);
    EXPECT_EQ(lpGetNumberOfOutstandingRequests(connection_), 1);
    connection_->outstandingRequests = 0;
    expectReceived({});

    // Synchronised: the per-laser and all-laser requests are refused.
    ASSERT_EQ(lpEnterTimeSyncMode(connection_), 0);
    emulator_.waitForReceived(8, 2000);
    emulator_.clearReceived();
    EXPECT_EQ(lpSendProfileRequestN(connection_, 0), KELO_ERROR_STATE);
    EXPECT_EQ(lpGetProfileN(connection_, 0, records), KELO_ERROR_STATE);
    EXPECT_EQ(lpGetProfileFromAllLasers(connection_, records, 2), KELO_ERROR_STATE);
    EXPECT_EQ(lpGetNumberOfOutstandingRequests(connection_), 0);
    expectReceived({});

    // The plain request works in both states.
    EXPECT_EQ(lpSendProfileRequest(connection_), 0);
    expectReceived(bytesOf({0, 0, 0, 10, 0, 0, 0, 0}));
}

// With nothing outstanding a batch read returns at once and leaves what
// is waiting on the connection alone.
TEST_F(ProfileRequestTest, BatchReadWithNothingOutstandingReadsNothing) {
    emulator_.overrideCommand(kCmdEnterTimeSync, [](emu::Session& s, const emu::Command&) {
        s.sendRaw(profileAnswer(21, 3));  // unsolicited
    });
    ASSERT_NE(open(), nullptr);
    ASSERT_EQ(lpEnterTimeSyncMode(connection_), 0);
    ProfileRecord records[2];
    EXPECT_EQ(lpReadMultipleProfiles(connection_, records, 2), 0);
    EXPECT_EQ(lpGetNumberOfOutstandingRequests(connection_), 0);
    ASSERT_EQ(lpReadProfile(connection_, records), 0);
    EXPECT_EQ(recordWord(records[0], 0), scriptedWord(21, 0));
    EXPECT_EQ(records[0].pointCount, 3);
}

TEST_F(ProfileRequestTest, BatchOfFiveIntoThreeRecords) {
    ASSERT_NE(openSynchronised(), nullptr);
    answerBatchRequestsWith({batchAnswer(taggedProfiles(1, 5, 243)), batchAnswer(taggedProfiles(9, 1, 4))});
    ProfileRecord records[4];
    fillUntouched(records, 4);
    ASSERT_EQ(lpSendMultipleProfileRequest(connection_, 5), 0);
    ASSERT_EQ(lpSendMultipleProfileRequest(connection_, 1), 0);
    EXPECT_EQ(lpGetNumberOfOutstandingRequests(connection_), 2);
    EXPECT_EQ(lpReadMultipleProfiles(connection_, records, 3), 3);
    for (std::uint32_t r = 0; r < 3; ++r) {
        EXPECT_EQ(recordWord(records[r], 0), scriptedWord(1 + r, 0)) << r;
        EXPECT_EQ(recordWord(records[r], 738), scriptedWord(1 + r, 738)) << r;
    }
    for (std::size_t i = 0; i < 739; ++i) ASSERT_EQ(recordWord(records[3], i), kUntouched) << i;
    // The other two were consumed: the next batch reads in step.
    EXPECT_EQ(lpReadMultipleProfilesTimeout(connection_, records, 4, 2000), 1);
    EXPECT_EQ(recordWord(records[0], 0), scriptedWord(9, 0));
    EXPECT_EQ(lpGetNumberOfOutstandingRequests(connection_), 0);
}

TEST_F(ProfileRequestTest, CapacityZeroDiscardsTheWholeBatch) {
    ASSERT_NE(openSynchronised(), nullptr);
    answerBatchRequestsWith({batchAnswer(taggedProfiles(1, 4, 100)), batchAnswer(taggedProfiles(7, 2, 5))});
    ProfileRecord records[2];
    fillUntouched(records, 2);
    ASSERT_EQ(lpSendMultipleProfileRequest(connection_, 4), 0);
    EXPECT_EQ(lpReadMultipleProfiles(connection_, records, 0), 0);
    for (std::size_t i = 0; i < 739; ++i) ASSERT_EQ(recordWord(records[0], i), kUntouched) << i;
    EXPECT_EQ(lpGetMultipleProfiles(connection_, records, 2), 2);
    EXPECT_EQ(recordWord(records[1], 0), scriptedWord(8, 0));
    EXPECT_EQ(records[1].pointCount, 5);
}

TEST_F(ProfileRequestTest, EmptyBatchAndWrongTypes) {
    ASSERT_NE(openSynchronised(), nullptr);
    answerBatchRequestsWith({
        batchAnswer({}),
        // The lead of a non-batch answer is read whole (12 bytes), then refused.
        bytesOf({0, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0, 1}),
        batchAnswer({emu::answerBytes(34, {})}),
        batchAnswer({bytesOf({0, 0, 0, 5, 0, 0, 0, 0})}),
        batchAnswer(taggedProfiles(3, 1, 2)),
    });
    ProfileRecord records[2];
    for (int i = 0; i < 5; ++i) ASSERT_EQ(lpSendMultipleProfileRequest(connection_, 1), 0);
    EXPECT_EQ(lpReadMultipleProfiles(connection_, records, 2), 0);
    EXPECT_EQ(lpReadMultipleProfiles(connection_, records, 2), KELO_ERROR_IO);
    // An inner answer that holds no profile, or one of a foreign type.
    EXPECT_EQ(lpReadMultipleProfiles(connection_, records, 2), KELO_ERROR_NO_PROFILE);
    EXPECT_EQ(lpReadMultipleProfiles(connection_, records, 2), KELO_ERROR_IO);
    EXPECT_EQ(lpGetNumberOfOutstandingRequests(connection_), 1);
    EXPECT_EQ(lpReadMultipleProfiles(connection_, records, 2), 1);
    EXPECT_EQ(recordWord(records[0], 0), scriptedWord(3, 0));
}

TEST_F(ProfileRequestTest, BatchReadTimesOutPerPiece) {
    ASSERT_NE(openSynchronised(), nullptr);
    emulator_.overrideCommand(kCmdMultipleProfileRequest, [](emu::Session& s, const emu::Command&) {
        // Announces two profiles and sends one.
        s.sendRaw(batchAnswer(taggedProfiles(1, 2, 10)).data(), 12 + 8 + profileLength(10));
    });
    ProfileRecord records[2];
    ASSERT_EQ(lpSendMultipleProfileRequest(connection_, 2), 0);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(lpReadMultipleProfilesTimeout(connection_, records, 2, 300), KELO_ERROR_TIMEOUT);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_GE(seconds, 0.25);
    EXPECT_LT(seconds, 3.0);
    EXPECT_EQ(recordWord(records[0], 0), scriptedWord(1, 0));
    EXPECT_EQ(lpGetNumberOfOutstandingRequests(connection_), 0);
}

TEST_F(ProfileRequestTest, LargeBatchReadNeverWritesPastTheArray) {
    ASSERT_NE(openSynchronised(), nullptr);
    std::vector<emu::Bytes> profiles = taggedProfiles(1, 3, 486);
    // A lying count: far beyond the room of a large record.
    profiles.push_back(profileAnswer(4, 0x7FFFFFFF, sizeof(LargeProfileRecord)));
    answerBatchRequestsWith({batchAnswer(profiles)});
    std::vector<LargeProfileRecord> records(4);
    fillUntouched(records.data(), 4);
    ASSERT_EQ(lpSendMultipleProfileRequest(connection_, 4), 0);
    EXPECT_EQ(lpReadMultipleLargeProfiles(connection_, records.data(), 2, 2000), 2);
    EXPECT_EQ(records[1].pointCount, 486);
    EXPECT_EQ(recordWord(records[1], 1467), scriptedWord(2, 1467));
    for (std::size_t i = 0; i < 1468; ++i) ASSERT_EQ(recordWord(records[2], i), kUntouched) << i;

    ASSERT_EQ(lpSendMultipleProfileRequest(connection_, 4), 0);
    EXPECT_EQ(lpReadMultipleLargeProfiles(connection_, records.data(), 4, 2000), 4);
    EXPECT_EQ(records[3].pointCount, KELO_LARGE_PROFILE_MAX_POINTS);
    // Large profiles do not fit the ordinary record: the first is refused.
    ASSERT_EQ(lpSendMultipleProfileRequest(connection_, 4), 0);
    ProfileRecord small[4];
    EXPECT_EQ(lpReadMultipleProfiles(connection_, small, 4), KELO_ERROR_IO);
}

// The all-laser read takes the third word of whatever answer came as the
// count, and reads no more than it holds records for.
TEST_F(ProfileRequestTest, AllLasersTakesTheThirdWordAsTheCount) {
    ASSERT_NE(open(), nullptr);
    emulator_.overrideCommand(kCmdProfileFromAllLasers, [](emu::Session& s, const emu::Command&) {
        s.sendRaw(batchAnswer(taggedProfiles(1, 3, 6), 7));
        s.sendRaw(profileAnswer(50, 1));
    });
    ProfileRecord records[3];
    EXPECT_EQ(lpGetProfileFromAllLasers(connection_, records, 2), 2);
    EXPECT_EQ(recordWord(records[1], 0), scriptedWord(2, 0));
    EXPECT_EQ(lpGetNumberOfOutstandingRequests(connection_), 0);
    // The third profile was discarded; the next answer is the one after.
    ASSERT_EQ(lpReadProfile(connection_, &records[2]), 0);
    EXPECT_EQ(recordWord(records[2], 0), scriptedWord(50, 0));
}

TEST_F(ProfileRequestTest, AllLasersFromTheEmulator) {
    emulator_.config().laserCount = 3;
    ASSERT_NE(open(), nullptr);
    ProfileRecord records[4];
    ASSERT_EQ(lpGetProfileFromAllLasers(connection_, records, 4), 3);
    for (int laser = 0; laser < 3; ++laser) EXPECT_EQ(records[laser].header[0], laser);
}

}  // namespace
}  // namespace kelo::test
