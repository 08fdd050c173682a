// SPDX-License-Identifier: Apache-2.0
// Single, per-laser and batch profile requests: wire bytes, the count of
// outstanding answers, sync-state refusals and batches of any size.
#include <cstring>

#include "core/command_codes.h"
#include "core/scanner_connection.h"
#include "profile_answers.h"
#include "support/emulator_fixture.h"
#include "support/g3_checks.h"

namespace kelo::test {
namespace {

class ProfileRequestTest : public ConnectedTest {
protected:
    void synchronise() {
        ASSERT_EQ(lpEnterTimeSyncMode(connection_), 0);
        emulator_.waitForReceived(8, 2000);
        emulator_.clearReceived();
    }
    int32_t outstanding() { return lpGetNumberOfOutstandingRequests(connection_); }
};

std::vector<emu::Bytes> taggedProfiles(std::uint32_t firstTag, std::size_t count, std::size_t points) {
    std::vector<emu::Bytes> profiles;
    for (std::size_t i = 0; i < count; ++i) profiles.push_back(profileAnswer(firstTag + std::uint32_t(i), points));
    return profiles;
}

// Null handles, then null records (before the sync state is looked at),
// then the wrong sync state: refused with nothing sent or counted.
TEST_F(ProfileRequestTest, RefusalsSendNothing) {
    ProfileRecord r;
    LargeProfileRecord large;
    expectAll(KELO_ERROR_ARGUMENT,
              {lpSendProfileRequest(nullptr), lpSendProfileRequestN(nullptr, 0), lpReadProfile(nullptr, &r),
               lpReadProfileN(nullptr, &r), lpGetProfile(nullptr, &r), lpGetProfileN(nullptr, 0, &r),
               lpSendMultipleProfileRequest(nullptr, 1), lpReadMultipleProfiles(nullptr, &r, 1),
               lpReadMultipleProfilesTimeout(nullptr, &r, 1, 10), lpReadMultipleLargeProfiles(nullptr, &large, 1, 10),
               lpGetMultipleProfiles(nullptr, &r, 1), lpGetProfileFromAllLasers(nullptr, &r, 1),
               lpCleanUpOutstandingRequests(nullptr), lpGetNumberOfOutstandingRequests(nullptr),
               lpWaitForAnswer(nullptr, 10)});
    ScannerConnection* c = c_;
    expectAll(KELO_ERROR_ARGUMENT,
              {lpReadProfile(c, nullptr), lpGetProfile(c, nullptr), lpGetProfileN(c, 0, nullptr),
               lpReadMultipleProfiles(c, nullptr, 1), lpReadMultipleLargeProfiles(c, nullptr, 1, 10),
               lpGetMultipleProfiles(c, nullptr, 1), lpGetProfileFromAllLasers(c, nullptr, 1)});
    // Idle: the batch operations are refused.
    connection_->outstandingRequests = 1;
    expectAll(KELO_ERROR_STATE, {lpSendMultipleProfileRequest(c, 5), lpGetMultipleProfiles(c, &r, 1),
                                 lpReadMultipleProfiles(c, &r, 1), lpReadMultipleProfilesTimeout(c, &r, 1, 100),
                                 lpReadMultipleLargeProfiles(c, &large, 1, 100)});
    EXPECT_EQ(outstanding(), 1);
    connection_->outstandingRequests = 0;
    // Synchronised: the per-laser and all-laser requests are refused.
    connection_->syncFlag = 1;
    expectAll(KELO_ERROR_STATE,
              {lpSendProfileRequestN(c, 0), lpGetProfileN(c, 0, &r), lpGetProfileFromAllLasers(c, &r, 1)});
    EXPECT_EQ(outstanding(), 0);
    expectReceived({});
    // The plain request works in both states.
    EXPECT_EQ(lpSendProfileRequest(connection_), 0);
    expectReceived(words({10, 0}));
    connection_->syncFlag = 0;
}

// The get forms count nothing; a laser the scanner lacks (2 or 7 here)
// gives no profile with the stream kept in step.
TEST_F(ProfileRequestTest, CommandBytesAndCounts) {
    ProfileRecord record, four[4];
    EXPECT_EQ(lpSendProfileRequest(connection_), 0);
    EXPECT_EQ(lpSendProfileRequestN(connection_, 2), 0);
    EXPECT_EQ(outstanding(), 2);
    EXPECT_EQ(lpReadProfile(connection_, &record), 0);
    EXPECT_EQ(lpReadProfileN(connection_, &record), KELO_ERROR_NO_PROFILE);
    expectAll(0, {lpGetProfile(connection_, &record), lpGetProfileN(connection_, 0, &record), outstanding()});
    EXPECT_EQ(record.pointCount, 243);
    EXPECT_EQ(lpGetProfileN(connection_, 7, &record), KELO_ERROR_NO_PROFILE);
    EXPECT_EQ(lpGetProfileFromAllLasers(connection_, &record, 1), 1);
    EXPECT_EQ(lpGetProfile(connection_, &record), 0);
    ASSERT_EQ(lpEnterTimeSyncMode(connection_), 0);
    EXPECT_GE(lpGetMultipleProfiles(connection_, four, 4), 0);
    EXPECT_EQ(lpSendMultipleProfileRequest(connection_, 0xFFFFFFFFu), 0);
    expectReceived(words({10, 0, 0x2B, 4, 2, 10, 0, 0x2B, 4, 0, 0x2B, 4, 7, 0x30, 0, 10, 0, 0x1D, 0, 0x26, 4, 4,
                          0x26, 4, 0xFFFFFFFFu}));
}

// Reads count down before they read, whatever the count held: from 0 the
// unsigned count wraps and is reported as -1.
TEST_F(ProfileRequestTest, OutstandingCountWrapsBelowZero) {
    ProfileRecord record;
    expectTakes(4.9, 8.0, [&] { EXPECT_EQ(lpReadProfile(connection_, &record), KELO_ERROR_TIMEOUT); });
    EXPECT_EQ(outstanding(), -1);
}

// Plain forms count after a good send; the N and batch forms count before
// they send and keep the count when the send fails.
TEST_F(ProfileRequestTest, FailedSendsAndTheCount) {
    ProfileRecord r;
    withBrokenSocket(connection_, [&] {
        expectAll(KELO_ERROR_IO, {lpSendProfileRequest(connection_), lpGetProfile(connection_, &r)});
        EXPECT_EQ(outstanding(), 0);
        expectAll(KELO_ERROR_IO, {lpSendProfileRequestN(connection_, 0), lpGetProfileN(connection_, 0, &r),
                                  lpGetProfileFromAllLasers(connection_, &r, 1)});
        EXPECT_EQ(outstanding(), 2);
        connection_->syncFlag = 1;
        expectAll(KELO_ERROR_IO,
                  {lpSendMultipleProfileRequest(connection_, 3), lpGetMultipleProfiles(connection_, &r, 1)});
        EXPECT_EQ(outstanding(), 4);
    });
    connection_->outstandingRequests = 0;
    connection_->syncFlag = 0;
}

// With nothing outstanding a batch read returns at once and leaves what
// is waiting on the connection alone.
TEST_F(ProfileRequestTest, BatchReadWithNothingOutstandingReadsNothing) {
    answerInTurn(emulator_, kCmdEnterTimeSync, {profileAnswer(21, 3)});  // unsolicited
    ASSERT_EQ(lpEnterTimeSyncMode(connection_), 0);
    ProfileRecord records[2];
    EXPECT_EQ(lpReadMultipleProfiles(connection_, records, 2), 0);
    EXPECT_EQ(outstanding(), 0);
    ASSERT_EQ(lpReadProfile(connection_, records), 0);
    EXPECT_EQ(recordWord(records[0], 0), scriptedWord(21, 0));
    EXPECT_EQ(records[0].pointCount, 3);
}

// A batch larger than the array fills the array and consumes the rest; a
// capacity of zero consumes it all.
TEST_F(ProfileRequestTest, BatchesLargerThanTheArray) {
    synchronise();
    answerInTurn(emulator_, kCmdMultipleProfileRequest,
                 {batchAnswer(taggedProfiles(1, 5, 243)), batchAnswer(taggedProfiles(9, 1, 4)),
                  batchAnswer(taggedProfiles(11, 4, 100)), batchAnswer(taggedProfiles(17, 2, 5))});
    ProfileRecord records[4];
    fillUntouched(records, 4);
    ASSERT_EQ(lpSendMultipleProfileRequest(connection_, 5), 0);
    ASSERT_EQ(lpSendMultipleProfileRequest(connection_, 1), 0);
    EXPECT_EQ(outstanding(), 2);
    EXPECT_EQ(lpReadMultipleProfiles(connection_, records, 3), 3);
    for (std::uint32_t r = 0; r < 3; ++r) {
        EXPECT_EQ(recordWord(records[r], 0), scriptedWord(1 + r, 0)) << r;
        EXPECT_EQ(recordWord(records[r], 738), scriptedWord(1 + r, 738)) << r;
    }
    EXPECT_TRUE(untouchedBytes(&records[3], 0, sizeof records[3], 0xA5));
    // The other two were consumed: the next batch reads in step.
    EXPECT_EQ(lpReadMultipleProfilesTimeout(connection_, records, 4, 2000), 1);
    EXPECT_EQ(recordWord(records[0], 0), scriptedWord(9, 0));
    EXPECT_EQ(outstanding(), 0);

    fillUntouched(records, 1);
    ASSERT_EQ(lpSendMultipleProfileRequest(connection_, 4), 0);
    EXPECT_EQ(lpReadMultipleProfiles(connection_, records, 0), 0);
    EXPECT_TRUE(untouchedBytes(&records[0], 0, sizeof records[0], 0xA5));
    EXPECT_EQ(lpGetMultipleProfiles(connection_, records, 2), 2);
    EXPECT_EQ(recordWord(records[1], 0), scriptedWord(18, 0));
    EXPECT_EQ(records[1].pointCount, 5);
}

// An empty batch and a non-batch answer: each read takes what its answer
// announced, so the next one reads in step.
TEST_F(ProfileRequestTest, EmptyAndForeignBatches) {
    synchronise();
    // The lead of a non-batch answer is read whole (12 bytes), then refused.
    answerInTurn(emulator_, kCmdMultipleProfileRequest,
                 {batchAnswer({}), words({0, 4, 1}), batchAnswer(taggedProfiles(3, 1, 2))});
    ProfileRecord records[2];
    for (int i = 0; i < 3; ++i) ASSERT_EQ(lpSendMultipleProfileRequest(connection_, 1), 0);
    EXPECT_EQ(lpReadMultipleProfiles(connection_, records, 2), 0);
    EXPECT_EQ(lpReadMultipleProfiles(connection_, records, 2), KELO_ERROR_IO);
    EXPECT_EQ(outstanding(), 1);
    EXPECT_EQ(lpReadMultipleProfiles(connection_, records, 2), 1);
    EXPECT_EQ(recordWord(records[0], 0), scriptedWord(3, 0));
    EXPECT_EQ(outstanding(), 0);
}

TEST_F(ProfileRequestTest, LargeBatchReadNeverWritesPastTheArray) {
    synchronise();
    std::vector<emu::Bytes> profiles = taggedProfiles(1, 3, 486);
    // A lying count: far beyond the room of a large record.
    profiles.push_back(profileAnswer(4, 0x7FFFFFFF, sizeof(LargeProfileRecord)));
    answerInTurn(emulator_, kCmdMultipleProfileRequest, {batchAnswer(profiles)});
    std::vector<LargeProfileRecord> records(4);
    fillUntouched(records.data(), 4);
    ASSERT_EQ(lpSendMultipleProfileRequest(connection_, 4), 0);
    EXPECT_EQ(lpReadMultipleLargeProfiles(connection_, records.data(), 2, 2000), 2);
    EXPECT_EQ(records[1].pointCount, 486);
    EXPECT_EQ(recordWord(records[1], 1467), scriptedWord(2, 1467));
    EXPECT_TRUE(untouchedBytes(&records[2], 0, sizeof records[2], 0xA5));

    ASSERT_EQ(lpSendMultipleProfileRequest(connection_, 4), 0);
    EXPECT_EQ(lpReadMultipleLargeProfiles(connection_, records.data(), 4, 2000), 4);
    EXPECT_EQ(records[3].pointCount, KELO_LARGE_PROFILE_MAX_POINTS);
}

// The all-laser read takes the third word of whatever answer came as the
// count, and reads no more than it holds records for.
TEST_F(ProfileRequestTest, AllLasersTakesTheThirdWordAsTheCount) {
    emulator_.config().laserCount = 3;  // read when the command comes
    ProfileRecord records[4];
    ASSERT_EQ(lpGetProfileFromAllLasers(connection_, records, 4), 3);
    for (int laser = 0; laser < 3; ++laser) EXPECT_EQ(records[laser].header[0], laser);

    answerInTurn(emulator_, kCmdProfileFromAllLasers,
                 {concat({batchAnswer(taggedProfiles(1, 3, 6), 7), profileAnswer(50, 1)})});
    EXPECT_EQ(lpGetProfileFromAllLasers(connection_, records, 2), 2);
    EXPECT_EQ(recordWord(records[1], 0), scriptedWord(2, 0));
    EXPECT_EQ(outstanding(), 0);
    // The third profile was discarded; the next answer is the one after.
    ASSERT_EQ(lpReadProfile(connection_, &records[2]), 0);
    EXPECT_EQ(recordWord(records[2], 0), scriptedWord(50, 0));
}

}  // namespace
}  // namespace kelo::test
