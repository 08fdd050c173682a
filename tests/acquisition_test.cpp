// Synchronised acquisitions end to end against the emulated scanner.
#include <chrono>
#include <vector>

#include "emulator/acquisition_state.h"
#include "emulator/profile_generator.h"
#include "support/emulator_fixture.h"

namespace kelo::test {
namespace {

constexpr std::uint32_t kBatch = 50;

class AcquisitionTest : public EmulatorTest {
protected:
    // Reads `batches` batches of kBatch profiles with one request always
    // ahead, and gives every profile read.
    std::vector<ProfileRecord> readBatches(int batches) {
        std::vector<ProfileRecord> all;
        std::vector<ProfileRecord> records(kBatch);
        EXPECT_EQ(lpSendMultipleProfileRequest(connection_, kBatch), 0);
        for (int b = 0; b < batches; ++b) {
            EXPECT_EQ(lpSendMultipleProfileRequest(connection_, kBatch), 0);
            const int32_t stored = lpReadMultipleProfiles(connection_, records.data(), kBatch);
            EXPECT_GE(stored, 0);
            EXPECT_LE(stored, static_cast<int32_t>(kBatch));
            if (stored <= 0) break;
            all.insert(all.end(), records.begin(), records.begin() + stored);
        }
        EXPECT_EQ(lpGetNumberOfOutstandingRequests(connection_), 1);
        return all;
    }
};

void expectPlausibleLine(const ProfileRecord& profile) {
    ASSERT_EQ(profile.pointCount, 243);
    for (int i = 1; i < profile.pointCount; ++i) {
        ASSERT_GT(profile.points[i][0], profile.points[i - 1][0]) << i;
    }
    EXPECT_EQ(profile.points[0][0], -emu::kFieldHalfWidth);
    EXPECT_EQ(profile.points[242][0], emu::kFieldHalfWidth);
    for (int i = 0; i < profile.pointCount; ++i) {
        ASSERT_GT(profile.points[i][1], emu::kSurfaceDistance / 2) << i;
        ASSERT_LT(profile.points[i][1], emu::kSurfaceDistance * 2) << i;
    }
}

TEST_F(AcquisitionTest, TimeSyncDeliversConsecutiveProfilesInBatches) {
    ASSERT_NE(open(), nullptr);
    ASSERT_EQ(lpEnterTimeSyncMode(connection_), 0);
    const std::vector<ProfileRecord> profiles = readBatches(6);
    ASSERT_GE(profiles.size(), 6 * kBatch / 2);
    for (std::size_t i = 0; i < profiles.size(); ++i) {
        EXPECT_EQ(profiles[i].header[emu::kHeaderSyncMode], static_cast<int32_t>(emu::SyncMode::Time));
        if (i > 0) {
            ASSERT_EQ(profiles[i].header[emu::kHeaderSequence], profiles[i - 1].header[emu::kHeaderSequence] + 1);
            ASSERT_GT(profiles[i].header[emu::kHeaderTimestampMicros],
                      profiles[i - 1].header[emu::kHeaderTimestampMicros]);
        }
        expectPlausibleLine(profiles[i]);
    }
    // The line has noise: two profiles are never the same.
    EXPECT_NE(profiles.front().points[100][1], profiles.back().points[100][1]);
    ASSERT_EQ(lpExitSyncMode(connection_), 0);
    EXPECT_EQ(lpGetNumberOfOutstandingRequests(connection_), 0);
    // Idle again: single requests answer at once.
    ProfileRecord single;
    EXPECT_EQ(lpGetProfile(connection_, &single), 0);
    expectPlausibleLine(single);
}

TEST_F(AcquisitionTest, EncoderSyncCountsOnFromTheValueSet) {
    ASSERT_NE(open(), nullptr);
    ASSERT_EQ(lpSetEncoderValue32(connection_, 100000), 0);
    ASSERT_EQ(lpEnterEncoderSyncMode(connection_), 0);
    const std::vector<ProfileRecord> profiles = readBatches(3);
    ASSERT_FALSE(profiles.empty());
    EXPECT_EQ(profiles[0].header[emu::kHeaderEncoder], 100000);
    for (std::size_t i = 1; i < profiles.size(); ++i) {
        ASSERT_EQ(profiles[i].header[emu::kHeaderEncoder], profiles[i - 1].header[emu::kHeaderEncoder] + 1);
    }
    EXPECT_EQ(lpExitSyncMode(connection_), 0);
}

// In pulse sync the scanner measures only while the pulse master runs.
TEST_F(AcquisitionTest, PulseSyncMeasuresOnlyWhilePulsesRun) {
    ASSERT_NE(open(), nullptr);
    ASSERT_EQ(lpEnterPulseSyncMode(connection_), 0);
    std::vector<ProfileRecord> records(kBatch);
    EXPECT_EQ(lpGetMultipleProfiles(connection_, records.data(), kBatch), 0);

    ASSERT_EQ(lpStartPulseMaster(connection_, 1000, 0), 0);  // one pulse per millisecond
    int32_t total = 0;
    for (int i = 0; i < 20 && total < 100; ++i) {
        const int32_t stored = lpGetMultipleProfiles(connection_, records.data(), kBatch);
        ASSERT_GE(stored, 0);
        total += stored;
    }
    EXPECT_GE(total, 100);
    EXPECT_EQ(records[0].header[emu::kHeaderSyncMode], static_cast<int32_t>(emu::SyncMode::Pulse));

    ASSERT_EQ(lpStopPulses(connection_), 0);
    // Whatever was measured before the stop may still come; then nothing.
    lpGetMultipleProfiles(connection_, records.data(), kBatch);
    lpGetMultipleProfiles(connection_, records.data(), kBatch);
    EXPECT_EQ(lpGetMultipleProfiles(connection_, records.data(), kBatch), 0);
    EXPECT_EQ(lpExitSyncMode(connection_), 0);
}

TEST_F(AcquisitionTest, HaltStopsMeasuringButStaysSynchronised) {
    ASSERT_NE(open(), nullptr);
    ASSERT_EQ(lpEnterTimeSyncMode(connection_), 0);
    std::vector<ProfileRecord> records(kBatch);
    EXPECT_GT(lpGetMultipleProfiles(connection_, records.data(), kBatch), 0);
    ASSERT_EQ(lpHaltSyncMode(connection_), 0);
    lpGetMultipleProfiles(connection_, records.data(), kBatch);  // what was measured before
    lpGetMultipleProfiles(connection_, records.data(), kBatch);
    EXPECT_EQ(lpGetMultipleProfiles(connection_, records.data(), kBatch), 0);
    EXPECT_EQ(lpIsInSyncMode(connection_), 1);
    EXPECT_TRUE(emulator_.state<emu::AcquisitionState>().halted());
    EXPECT_EQ(lpExitSyncMode(connection_), 0);
}

// Several batches still owed when leaving sync are drained, and the
// connection is usable at once.
TEST_F(AcquisitionTest, ExitWithBatchesOwed) {
    ASSERT_NE(open(), nullptr);
    ASSERT_EQ(lpEnterTimeSyncMode(connection_), 0);
    for (int i = 0; i < 4; ++i) ASSERT_EQ(lpSendMultipleProfileRequest(connection_, 30), 0);
    EXPECT_EQ(lpGetNumberOfOutstandingRequests(connection_), 4);
    EXPECT_EQ(lpExitSyncMode(connection_), 0);
    EXPECT_EQ(lpGetNumberOfOutstandingRequests(connection_), 0);
    ProfileRecord single;
    EXPECT_EQ(lpGetProfile(connection_, &single), 0);
    EXPECT_EQ(single.header[emu::kHeaderSyncMode], static_cast<int32_t>(emu::SyncMode::Idle));
}

}  // namespace
}  // namespace kelo::test
