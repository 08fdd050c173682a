// Synchronised acquisitions end to end against the emulated scanner.
#include <vector>

#include "emulator/acquisition_state.h"
#include "emulator/profile_generator.h"
#include "support/g3_checks.h"

namespace kelo::test {
namespace {

constexpr std::uint32_t kBatch = 50;

class AcquisitionTest : public ConnectedTest {
protected:
    // Reads `batches` batches of kBatch profiles with one request always
    // ahead, and gives every profile read.
    std::vector<ProfileRecord> readBatches(int batches) {
        std::vector<ProfileRecord> all, records(kBatch);
        EXPECT_EQ(lpSendMultipleProfileRequest(c_, kBatch), 0);
        for (int b = 0; b < batches; ++b) {
            EXPECT_EQ(lpSendMultipleProfileRequest(c_, kBatch), 0);
            const int32_t stored = lpReadMultipleProfiles(c_, records.data(), kBatch);
            EXPECT_GE(stored, 0);
            EXPECT_LE(stored, static_cast<int32_t>(kBatch));
            if (stored <= 0) break;
            all.insert(all.end(), records.begin(), records.begin() + stored);
        }
        EXPECT_EQ(lpGetNumberOfOutstandingRequests(c_), 1);
        return all;
    }
    // Whatever was measured before a stop may still come in two batches;
    // then nothing.
    void expectMeasuringStopped() {
        std::vector<ProfileRecord> records(kBatch);
        lpGetMultipleProfiles(c_, records.data(), kBatch);
        lpGetMultipleProfiles(c_, records.data(), kBatch);
        EXPECT_EQ(lpGetMultipleProfiles(c_, records.data(), kBatch), 0);
    }
};

// The emulated line spans the field from left to right, points in order.
void expectPlausibleLine(const ProfileRecord& profile) {
    ASSERT_EQ(profile.pointCount, 243);
    EXPECT_EQ(profile.points[0][0], -emu::kFieldHalfWidth);
    EXPECT_EQ(profile.points[242][0], emu::kFieldHalfWidth);
    for (int i = 1; i < profile.pointCount; ++i) ASSERT_GT(profile.points[i][0], profile.points[i - 1][0]) << i;
}

int32_t syncMode(const ProfileRecord& profile) { return profile.header[emu::kHeaderSyncMode]; }

TEST_F(AcquisitionTest, TimeSyncDeliversConsecutiveProfilesInBatches) {
    ASSERT_EQ(lpEnterTimeSyncMode(c_), 0);
    const std::vector<ProfileRecord> profiles = readBatches(6);
    ASSERT_GE(profiles.size(), 6 * kBatch / 2);
    for (std::size_t i = 0; i < profiles.size(); ++i) {
        EXPECT_EQ(syncMode(profiles[i]), static_cast<int32_t>(emu::SyncMode::Time));
        if (i > 0) {
            ASSERT_EQ(profiles[i].header[emu::kHeaderSequence], profiles[i - 1].header[emu::kHeaderSequence] + 1);
            ASSERT_GT(profiles[i].header[emu::kHeaderTimestampMicros],
                      profiles[i - 1].header[emu::kHeaderTimestampMicros]);
        }
        expectPlausibleLine(profiles[i]);
    }
    // The line has noise: two profiles are never the same.
    EXPECT_NE(profiles.front().points[100][1], profiles.back().points[100][1]);
    ASSERT_EQ(lpExitSyncMode(c_), 0);
    EXPECT_EQ(lpGetNumberOfOutstandingRequests(c_), 0);
    // Idle again: single requests answer at once.
    ProfileRecord single;
    EXPECT_EQ(lpGetProfile(c_, &single), 0);
    expectPlausibleLine(single);
    EXPECT_EQ(syncMode(single), static_cast<int32_t>(emu::SyncMode::Idle));
}

TEST_F(AcquisitionTest, EncoderSyncCountsOnFromTheValueSet) {
    ASSERT_EQ(lpSetEncoderValue32(c_, 100000), 0);
    ASSERT_EQ(lpEnterEncoderSyncMode(c_), 0);
    const std::vector<ProfileRecord> profiles = readBatches(3);
    ASSERT_FALSE(profiles.empty());
    for (std::size_t i = 0; i < profiles.size(); ++i) {
        ASSERT_EQ(profiles[i].header[emu::kHeaderEncoder], 100000 + static_cast<int32_t>(i)) << i;
    }
    EXPECT_EQ(lpExitSyncMode(c_), 0);
}

// In pulse sync the scanner measures only while the pulse master runs; a
// halt stops measuring but stays synchronised.
TEST_F(AcquisitionTest, PulsesAndHalt) {
    ASSERT_EQ(lpEnterPulseSyncMode(c_), 0);
    std::vector<ProfileRecord> records(kBatch);
    EXPECT_EQ(lpGetMultipleProfiles(c_, records.data(), kBatch), 0);
    ASSERT_EQ(lpStartPulseMaster(c_, 1000, 0), 0);  // one pulse per millisecond
    int32_t total = 0;
    for (int i = 0; i < 20 && total < 100; ++i) {
        const int32_t stored = lpGetMultipleProfiles(c_, records.data(), kBatch);
        ASSERT_GE(stored, 0);
        total += stored;
    }
    EXPECT_GE(total, 100);
    EXPECT_EQ(syncMode(records[0]), static_cast<int32_t>(emu::SyncMode::Pulse));
    ASSERT_EQ(lpStopPulses(c_), 0);
    expectMeasuringStopped();
    ASSERT_EQ(lpExitSyncMode(c_), 0);

    ASSERT_EQ(lpEnterTimeSyncMode(c_), 0);
    EXPECT_GT(lpGetMultipleProfiles(c_, records.data(), kBatch), 0);
    ASSERT_EQ(lpHaltSyncMode(c_), 0);
    expectMeasuringStopped();
    EXPECT_EQ(lpIsInSyncMode(c_), 1);
    EXPECT_TRUE(emulator_.state<emu::AcquisitionState>().halted());
    EXPECT_EQ(lpExitSyncMode(c_), 0);
}

}  // namespace
}  // namespace kelo::test
