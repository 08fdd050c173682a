// Sync modes, encoder value and pulse generator: the flag's rules, the
// exact command bytes, refusals that send nothing, and draining on exit.
#include <climits>

#include "core/command_codes.h"
#include "core/scanner_connection.h"
#include "emulator/acquisition_state.h"
#include "profile_answers.h"
#include "support/emulator_fixture.h"

namespace kelo::test {
namespace {

class SyncModeTest : public EmulatorTest {
protected:
    void enterTimeSync() {
        ASSERT_EQ(lpEnterTimeSyncMode(connection_), 0);
        emulator_.waitForReceived(8, 2000);
        emulator_.clearReceived();
    }
    template <typename Fn>
    void withBrokenSocket(Fn fn) {
        const net::Socket real = connection_->socket;
        connection_->socket = net::kInvalidSocket;
        fn();
        connection_->socket = real;
    }
};

TEST_F(SyncModeTest, NullHandleIsRefusedEverywhere) {
    EXPECT_EQ(lpEnterTimeSyncMode(nullptr), KELO_ERROR_ARGUMENT);
    EXPECT_EQ(lpEnterEncoderSyncMode(nullptr), KELO_ERROR_ARGUMENT);
    EXPECT_EQ(lpEnterPulseSyncMode(nullptr), KELO_ERROR_ARGUMENT);
    EXPECT_EQ(lpExitSyncMode(nullptr), KELO_ERROR_ARGUMENT);
    EXPECT_EQ(lpHaltSyncMode(nullptr), KELO_ERROR_ARGUMENT);
    EXPECT_EQ(lpSetEncoderValue(nullptr, 1), KELO_ERROR_ARGUMENT);
    EXPECT_EQ(lpSetEncoderValue32(nullptr, 1), KELO_ERROR_ARGUMENT);
    EXPECT_EQ(lpStartPulseMaster(nullptr, 2000, 1), KELO_ERROR_ARGUMENT);
    EXPECT_EQ(lpStopPulses(nullptr), KELO_ERROR_ARGUMENT);
    EXPECT_EQ(lpIsInSyncMode(nullptr), KELO_ERROR_ARGUMENT);
}

TEST_F(SyncModeTest, EnterAndExitBytesAndFlag) {
    ASSERT_NE(open(), nullptr);
    EXPECT_EQ(lpIsInSyncMode(connection_), 0);
    EXPECT_EQ(lpExitSyncMode(connection_), KELO_ERROR_STATE);
    EXPECT_EQ(lpHaltSyncMode(connection_), KELO_ERROR_STATE);
    expectReceived({});

    EXPECT_EQ(lpEnterEncoderSyncMode(connection_), 0);
    EXPECT_EQ(lpIsInSyncMode(connection_), 1);
    // Entered again while synchronised: sent again.
    EXPECT_EQ(lpEnterTimeSyncMode(connection_), 0);
    EXPECT_EQ(lpHaltSyncMode(connection_), 0);
    EXPECT_EQ(lpIsInSyncMode(connection_), 1);
    EXPECT_EQ(lpExitSyncMode(connection_), 0);
    EXPECT_EQ(lpIsInSyncMode(connection_), 0);
    expectReceived(bytesOf({0, 0, 0, 0x1C, 0, 0, 0, 0,  //
                            0, 0, 0, 0x1D, 0, 0, 0, 0,  //
                            0, 0, 0, 0x21, 0, 0, 0, 0,  //
                            0, 0, 0, 0x23, 0, 0, 0, 0}));
}

TEST_F(SyncModeTest, PulseSyncOnlyFromIdle) {
    ASSERT_NE(open(), nullptr);
    enterTimeSync();
    EXPECT_EQ(lpEnterPulseSyncMode(connection_), KELO_ERROR_STATE);
    expectReceived({});
    ASSERT_EQ(lpExitSyncMode(connection_), 0);
    emulator_.waitForReceived(8, 2000);
    emulator_.clearReceived();

    EXPECT_EQ(lpEnterPulseSyncMode(connection_), 0);
    EXPECT_EQ(lpEnterTimeSyncMode(connection_), 0);
    EXPECT_EQ(lpIsInSyncMode(connection_), 1);
    expectReceived(bytesOf({0, 0, 0, 0x34, 0, 0, 0, 0, 0, 0, 0, 0x1D, 0, 0, 0, 0}));
}

TEST_F(SyncModeTest, EncoderValueOnlyWhileIdle) {
    ASSERT_NE(open(), nullptr);
    EXPECT_EQ(lpSetEncoderValue(connection_, 65535), 0);
    EXPECT_EQ(lpSetEncoderValue32(connection_, 4294967295u), 0);
    expectReceived(bytesOf({0, 0, 0, 0x31, 0, 0, 0, 4, 0, 0, 0xFF, 0xFF,  //
                            0, 0, 0, 0x31, 0, 0, 0, 4, 0xFF, 0xFF, 0xFF, 0xFF}));
    emulator_.clearReceived();
    ASSERT_EQ(lpSetEncoderValue32(connection_, 0x01020304u), 0);
    // The bytes are logged before the command runs: give it a moment.
    auto& scanner = emulator_.state<emu::AcquisitionState>();
    for (int i = 0; i < 200 && scanner.encoderValue() != 0x01020304u; ++i) {
        net::sleepMilliseconds(10);
    }
    EXPECT_EQ(scanner.encoderValue(), 0x01020304u);
    emulator_.clearReceived();

    enterTimeSync();
    EXPECT_EQ(lpSetEncoderValue(connection_, 1), KELO_ERROR_STATE);
    EXPECT_EQ(lpSetEncoderValue32(connection_, 1), KELO_ERROR_STATE);
    expectReceived({});
}

TEST_F(SyncModeTest, PulseSettingRangesAreCheckedBeforeTheState) {
    ASSERT_NE(open(), nullptr);
    // Idle: out-of-range settings give -2, valid ones 21.
    for (std::int32_t bad : {999, 5000001, 0, -1, INT_MIN}) {
        EXPECT_EQ(lpStartPulseMaster(connection_, bad, 0), KELO_ERROR_ARGUMENT) << bad;
    }
    EXPECT_EQ(lpStartPulseMaster(connection_, 1000, 512), KELO_ERROR_ARGUMENT);
    EXPECT_EQ(lpStartPulseMaster(connection_, 1000, 0xFFFFFFFFu), KELO_ERROR_ARGUMENT);
    EXPECT_EQ(lpStartPulseMaster(connection_, 1000, 0), KELO_ERROR_STATE);
    EXPECT_EQ(lpStopPulses(connection_), KELO_ERROR_STATE);
    expectReceived({});

    ASSERT_EQ(lpEnterPulseSyncMode(connection_), 0);
    emulator_.waitForReceived(8, 2000);
    emulator_.clearReceived();
    EXPECT_EQ(lpStartPulseMaster(connection_, 999, 0), KELO_ERROR_ARGUMENT);
    EXPECT_EQ(lpStartPulseMaster(connection_, 1000, 0), 0);
    EXPECT_EQ(lpStartPulseMaster(connection_, 5000000, 511), 0);
    EXPECT_EQ(lpStopPulses(connection_), 0);
    expectReceived(bytesOf({0, 0, 0, 0x39, 0, 0, 0, 0x10, 0, 0, 0x03, 0xE8, 0, 0, 0, 0,
                            0, 0, 0, 0, 0, 0, 0, 0,  //
                            0, 0, 0, 0x39, 0, 0, 0, 0x10, 0, 0x4C, 0x4B, 0x40, 0, 0, 0x01, 0xFF,
                            0, 0, 0, 0, 0, 0, 0, 0,  //
                            0, 0, 0, 0x39, 0, 0, 0, 0x10, 0, 0, 0, 0, 0, 0, 0, 0,
                            0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(SyncModeTest, FailedSendsChangeNoState) {
    ASSERT_NE(open(), nullptr);
    withBrokenSocket([&] {
        EXPECT_EQ(lpEnterTimeSyncMode(connection_), KELO_ERROR_IO);
        EXPECT_EQ(lpEnterEncoderSyncMode(connection_), KELO_ERROR_IO);
        EXPECT_EQ(lpEnterPulseSyncMode(connection_), KELO_ERROR_IO);
        EXPECT_EQ(lpIsInSyncMode(connection_), 0);
        EXPECT_EQ(lpSetEncoderValue(connection_, 3), KELO_ERROR_IO);
    });
    enterTimeSync();
    withBrokenSocket([&] {
        EXPECT_EQ(lpExitSyncMode(connection_), KELO_ERROR_IO);
        EXPECT_EQ(lpIsInSyncMode(connection_), 1);
        EXPECT_EQ(lpHaltSyncMode(connection_), KELO_ERROR_IO);
        EXPECT_EQ(lpStartPulseMaster(connection_, 1000, 1), KELO_ERROR_IO);
        EXPECT_EQ(lpStopPulses(connection_), KELO_ERROR_IO);
    });
    EXPECT_EQ(lpIsInSyncMode(connection_), 1);
}

// Leaving sync drains every batch still owed by its length word alone,
// whatever it holds, and leaves the stream at the next answer.
TEST_F(SyncModeTest, ExitDrainsOutstandingBatchesByTheirLengthWords) {
    ASSERT_NE(open(), nullptr);
    enterTimeSync();
    // The second batch's length word covers four stray bytes after its
    // profile: the drain goes by the word, not by the contents.
    emu::Bytes second = batchAnswer({profileAnswer(2, 243)});
    wire::putWord(second.data() + 4, wire::getWord(second.data() + 4) + 4);
    second.insert(second.end(), {0xDE, 0xAD, 0xBE, 0xEF});
    const std::vector<emu::Bytes> answers = {batchAnswer({profileAnswer(1, 3), profileAnswer(1, 4)}), second};
    auto next = std::make_shared<std::size_t>(0);
    emulator_.overrideCommand(kCmdMultipleProfileRequest, [answers, next](emu::Session& s, const emu::Command&) {
        s.sendRaw(answers[(*next)++ % answers.size()]);
    });
    emulator_.overrideCommand(kCmdExitSync, [](emu::Session& s, const emu::Command&) {
        s.sendRaw(profileAnswer(30, 1));  // answers nothing; shows where the stream is
    });
    ASSERT_EQ(lpSendMultipleProfileRequest(connection_, 2), 0);
    ASSERT_EQ(lpSendMultipleProfileRequest(connection_, 1), 0);
    EXPECT_EQ(lpExitSyncMode(connection_), 0);
    EXPECT_EQ(lpGetNumberOfOutstandingRequests(connection_), 0);
    EXPECT_EQ(lpIsInSyncMode(connection_), 0);
    ProfileRecord record;
    ASSERT_EQ(lpReadProfile(connection_, &record), 0);
    EXPECT_EQ(recordWord(record, 0), scriptedWord(30, 0));
}

TEST_F(SyncModeTest, FailedDrainLeavesIdleWithTheRestCounted) {
    ASSERT_NE(open(), nullptr);
    enterTimeSync();
    auto served = std::make_shared<int>(0);
    emulator_.overrideCommand(kCmdMultipleProfileRequest, [served](emu::Session& s, const emu::Command&) {
        // Only the first of three requests is answered.
        if ((*served)++ == 0) s.sendRaw(batchAnswer({profileAnswer(1, 2)}));
    });
    for (int i = 0; i < 3; ++i) ASSERT_EQ(lpSendMultipleProfileRequest(connection_, 1), 0);
    EXPECT_EQ(lpExitSyncMode(connection_), KELO_ERROR_IO);
    EXPECT_EQ(lpIsInSyncMode(connection_), 0);
    EXPECT_EQ(lpGetNumberOfOutstandingRequests(connection_), 2);
    // A later clean-up carries on from there.
    emulator_.overrideCommand(kCmdProfileRequest, [](emu::Session& s, const emu::Command&) {
        s.sendRaw(batchAnswer({}));
        s.sendRaw(emu::answerBytes(34, {}));
        s.sendRaw(profileAnswer(5, 243));
    });
    ASSERT_EQ(lpSendProfileRequest(connection_), 0);
    EXPECT_EQ(lpGetNumberOfOutstandingRequests(connection_), 3);
    EXPECT_EQ(lpCleanUpOutstandingRequests(connection_), 0);
    EXPECT_EQ(lpGetNumberOfOutstandingRequests(connection_), 0);
    emulator_.clearOverrides();
    ProfileRecord record;
    EXPECT_EQ(lpGetProfile(connection_, &record), 0);
    EXPECT_EQ(record.pointCount, 243);
}

TEST_F(SyncModeTest, CleanUpWithNothingOwedReadsNothing) {
    ASSERT_NE(open(), nullptr);
    EXPECT_EQ(lpCleanUpOutstandingRequests(connection_), 0);
    enterTimeSync();
    EXPECT_EQ(lpExitSyncMode(connection_), 0);
    expectReceived(bytesOf({0, 0, 0, 0x23, 0, 0, 0, 0}));
    ProfileRecord record;
    EXPECT_EQ(lpGetProfile(connection_, &record), 0);
}

}  // namespace
}  // namespace kelo::test
