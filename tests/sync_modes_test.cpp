// SPDX-License-Identifier: Apache-2.0
// Sync modes, encoder value and pulse generator: the flag's rules, the
// exact command bytes, refusals that send nothing, and draining on exit.
#include <climits>

#include "core/command_codes.h"
#include "core/scanner_connection.h"
#include "profile_answers.h"
#include "support/emulator_fixture.h"
#include "support/g3_checks.h"

namespace kelo::test {
namespace {

class SyncModeTest : public ConnectedTest {
protected:
    void enterTimeSync() {
        ASSERT_EQ(lpEnterTimeSyncMode(connection_), 0);
        emulator_.waitForReceived(8, 2000);
        emulator_.clearReceived();
    }
};

TEST(SyncModes, NullHandleIsRefusedEverywhere) {
    expectAll(KELO_ERROR_ARGUMENT,
              {lpEnterTimeSyncMode(nullptr), lpEnterEncoderSyncMode(nullptr), lpEnterPulseSyncMode(nullptr),
               lpExitSyncMode(nullptr), lpHaltSyncMode(nullptr), lpSetEncoderValue(nullptr, 1),
               lpSetEncoderValue32(nullptr, 1), lpStartPulseMaster(nullptr, 2000, 1), lpStopPulses(nullptr),
               lpIsInSyncMode(nullptr)});
}

// Exit and halt need a sync mode; pulse sync is entered only from idle;
// the other modes are sent again while synchronised. Exit with nothing
// owed reads nothing.
TEST_F(SyncModeTest, TransitionsBytesAndFlag) {
    EXPECT_EQ(lpIsInSyncMode(connection_), 0);
    EXPECT_EQ(lpExitSyncMode(connection_), KELO_ERROR_STATE);
    EXPECT_EQ(lpHaltSyncMode(connection_), KELO_ERROR_STATE);
    EXPECT_EQ(lpCleanUpOutstandingRequests(connection_), 0);
    EXPECT_EQ(lpEnterEncoderSyncMode(connection_), 0);
    EXPECT_EQ(lpIsInSyncMode(connection_), 1);
    EXPECT_EQ(lpEnterTimeSyncMode(connection_), 0);
    EXPECT_EQ(lpEnterPulseSyncMode(connection_), KELO_ERROR_STATE);
    EXPECT_EQ(lpHaltSyncMode(connection_), 0);
    EXPECT_EQ(lpIsInSyncMode(connection_), 1);
    EXPECT_EQ(lpExitSyncMode(connection_), 0);
    EXPECT_EQ(lpIsInSyncMode(connection_), 0);
    EXPECT_EQ(lpEnterPulseSyncMode(connection_), 0);
    EXPECT_EQ(lpEnterTimeSyncMode(connection_), 0);
    EXPECT_EQ(lpIsInSyncMode(connection_), 1);
    EXPECT_EQ(lpExitSyncMode(connection_), 0);
    expectReceived(words({0x1C, 0, 0x1D, 0, 0x21, 0, 0x23, 0, 0x34, 0, 0x1D, 0, 0x23, 0}));
    ProfileRecord record;
    EXPECT_EQ(lpGetProfile(connection_, &record), 0);
}

TEST_F(SyncModeTest, EncoderValueOnlyWhileIdle) {
    EXPECT_EQ(lpSetEncoderValue(connection_, 65535), 0);
    EXPECT_EQ(lpSetEncoderValue32(connection_, 4294967295u), 0);
    ASSERT_EQ(lpSetEncoderValue32(connection_, 0x01020304u), 0);
    expectReceived(words({0x31, 4, 0xFFFF, 0x31, 4, 0xFFFFFFFFu, 0x31, 4, 0x01020304u}));
    emulator_.clearReceived();
    enterTimeSync();
    expectAll(KELO_ERROR_STATE, {lpSetEncoderValue(connection_, 1), lpSetEncoderValue32(connection_, 1)});
    expectReceived({});
}

// Out-of-range settings give -2 whatever the state; valid ones need pulse sync.
TEST_F(SyncModeTest, PulseSettingRangesAreCheckedBeforeTheState) {
    const auto start = [this](std::int32_t setting1, std::uint32_t setting2) {
        return lpStartPulseMaster(c_, setting1, setting2);
    };
    const auto expectRangesRefused = [&] {
        expectAll(KELO_ERROR_ARGUMENT, {start(999, 0), start(5000001, 0), start(0, 0), start(-1, 0), start(INT_MIN, 0),
                                        start(1000, 512), start(1000, 0xFFFFFFFFu)});
    };
    expectRangesRefused();
    expectAll(KELO_ERROR_STATE, {start(1000, 0), lpStopPulses(c_)});
    expectReceived({});
    ASSERT_EQ(lpEnterPulseSyncMode(c_), 0);
    emulator_.waitForReceived(8, 2000);
    emulator_.clearReceived();
    expectRangesRefused();
    expectAll(0, {start(1000, 0), start(5000000, 511), lpStopPulses(c_)});
    expectReceived(words({0x39, 16, 1000, 0, 0, 0, 0x39, 16, 5000000, 511, 0, 0, 0x39, 16, 0, 0, 0, 0}));
}

TEST_F(SyncModeTest, FailedSendsChangeNoState) {
    withBrokenSocket(connection_, [&] {
        expectAll(KELO_ERROR_IO, {lpEnterTimeSyncMode(connection_), lpEnterEncoderSyncMode(connection_),
                                  lpEnterPulseSyncMode(connection_), lpSetEncoderValue(connection_, 3)});
        EXPECT_EQ(lpIsInSyncMode(connection_), 0);
    });
    enterTimeSync();
    withBrokenSocket(connection_, [&] {
        expectAll(KELO_ERROR_IO, {lpExitSyncMode(connection_), lpHaltSyncMode(connection_),
                                  lpStartPulseMaster(connection_, 1000, 1), lpStopPulses(connection_)});
    });
    EXPECT_EQ(lpIsInSyncMode(connection_), 1);
}

// Leaving sync drains every batch still owed by its length word alone,
// whatever it holds, and leaves the stream at the next answer.
TEST_F(SyncModeTest, ExitDrainsOutstandingBatchesByTheirLengthWords) {
    enterTimeSync();
    // The second batch's length word covers four stray bytes after its
    // profile: the drain goes by the word, not by the contents.
    emu::Bytes second = batchAnswer({profileAnswer(2, 243)});
    wire::putWord(second.data() + 4, wire::getWord(second.data() + 4) + 4);
    second.insert(second.end(), {0xDE, 0xAD, 0xBE, 0xEF});
    const emu::Bytes first = batchAnswer({profileAnswer(1, 3), profileAnswer(1, 4)});
    answerInTurn(emulator_, kCmdMultipleProfileRequest, {first, second});
    // The exit answers nothing; this shows where the stream is.
    answerInTurn(emulator_, kCmdExitSync, {profileAnswer(30, 1)});
    ASSERT_EQ(lpSendMultipleProfileRequest(connection_, 2), 0);
    ASSERT_EQ(lpSendMultipleProfileRequest(connection_, 1), 0);
    EXPECT_EQ(lpExitSyncMode(connection_), 0);
    EXPECT_EQ(lpGetNumberOfOutstandingRequests(connection_), 0);
    EXPECT_EQ(lpIsInSyncMode(connection_), 0);
    ProfileRecord record;
    ASSERT_EQ(lpReadProfile(connection_, &record), 0);
    EXPECT_EQ(recordWord(record, 0), scriptedWord(30, 0));
}

// Only the first of three batches comes: the exit fails but leaves sync,
// with the rest still counted; a later clean-up carries on from there.
TEST_F(SyncModeTest, FailedDrainLeavesIdleWithTheRestCounted) {
    enterTimeSync();
    answerInTurn(emulator_, kCmdMultipleProfileRequest, {batchAnswer({profileAnswer(1, 2)}), {}});
    for (int i = 0; i < 3; ++i) ASSERT_EQ(lpSendMultipleProfileRequest(connection_, 1), 0);
    EXPECT_EQ(lpExitSyncMode(connection_), KELO_ERROR_IO);
    EXPECT_EQ(lpIsInSyncMode(connection_), 0);
    EXPECT_EQ(lpGetNumberOfOutstandingRequests(connection_), 2);
    answerInTurn(emulator_, kCmdProfileRequest,
                 {concat({batchAnswer({}), emu::answerBytes(34, {}), profileAnswer(5, 243)})});
    ASSERT_EQ(lpSendProfileRequest(connection_), 0);
    EXPECT_EQ(lpGetNumberOfOutstandingRequests(connection_), 3);
    EXPECT_EQ(lpCleanUpOutstandingRequests(connection_), 0);
    EXPECT_EQ(lpGetNumberOfOutstandingRequests(connection_), 0);
    emulator_.clearOverrides();
    ProfileRecord record;
    EXPECT_EQ(lpGetProfile(connection_, &record), 0);
    EXPECT_EQ(record.pointCount, 243);
}

}  // namespace
}  // namespace kelo::test
