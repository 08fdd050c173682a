// Batch reads against scanners that send awkwardly: profiles of different
// sizes, answers in small pieces, and length words or counts that lie.
#include <chrono>
#include <thread>

#include "core/command_codes.h"
#include "core/scanner_connection.h"
#include "profile_answers.h"
#include "support/emulator_fixture.h"

namespace kelo::test {
namespace {

class BatchReadTest : public EmulatorTest {
protected:
    void SetUp() override {
        EmulatorTest::SetUp();
        ASSERT_NE(open(), nullptr);
        ASSERT_EQ(lpEnterTimeSyncMode(connection_), 0);
    }
    // The first batch request is answered with all of `bytes` at once
    // (later requests get nothing of their own).
    void answerFirstRequestWith(emu::Bytes bytes) {
        auto done = std::make_shared<bool>(false);
        emulator_.overrideCommand(kCmdMultipleProfileRequest,
                                  [bytes, done](emu::Session& s, const emu::Command&) {
                                      if (!*done) s.sendRaw(bytes);
                                      *done = true;
                                  });
    }
};

void expectProfile(const ProfileRecord& record, std::uint32_t tag, std::int32_t points) {
    ASSERT_EQ(record.pointCount, points) << "tag " << tag;
    for (std::size_t i = 0; i < 10 + 3 * static_cast<std::size_t>(points); ++i) {
        if (i != 9) ASSERT_EQ(recordWord(record, i), scriptedWord(tag, i)) << "tag " << tag << " word " << i;
    }
}

TEST_F(BatchReadTest, ProfilesOfDifferentSizesInOneBatch) {
    const std::int32_t sizes[] = {243, 10, 0, 243, 1, 242, 5};
    std::vector<emu::Bytes> profiles;
    for (std::uint32_t i = 0; i < 7; ++i) profiles.push_back(profileAnswer(i + 1, sizes[i]));
    answerFirstRequestWith(batchAnswer(profiles));
    ProfileRecord records[7];
    ASSERT_EQ(lpSendMultipleProfileRequest(connection_, 7), 0);
    ASSERT_EQ(lpReadMultipleProfiles(connection_, records, 7), 7);
    for (std::uint32_t i = 0; i < 7; ++i) expectProfile(records[i], i + 1, sizes[i]);
}

// Every few bytes on their own: words and headers split between receives.
TEST_F(BatchReadTest, AnswerArrivingInSmallPieces) {
    std::vector<emu::Bytes> profiles;
    for (std::uint32_t i = 0; i < 4; ++i) profiles.push_back(profileAnswer(i + 1, 30 + i));
    const emu::Bytes bytes = batchAnswer(profiles);
    emulator_.overrideCommand(kCmdMultipleProfileRequest, [bytes](emu::Session& s, const emu::Command&) {
        for (std::size_t at = 0; at < bytes.size(); at += 7) {
            s.sendRaw(bytes.data() + at, std::min<std::size_t>(7, bytes.size() - at));
            if (at % 140 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    ProfileRecord records[3];
    ASSERT_EQ(lpSendMultipleProfileRequest(connection_, 4), 0);
    ASSERT_EQ(lpReadMultipleProfilesTimeout(connection_, records, 3, 2000), 3);
    for (std::uint32_t i = 0; i < 3; ++i) expectProfile(records[i], i + 1, 30 + static_cast<std::int32_t>(i));
}

// Length words that claim too little or too much do not move the stream
// when the profiles are alike: the next batch, already waiting, reads whole.
TEST_F(BatchReadTest, WrongLengthWordsWithTheNextBatchWaiting) {
    emu::Bytes shortClaim = batchAnswer({profileAnswer(1, 243), profileAnswer(2, 243)});
    wire::putWord(shortClaim.data() + 4, 4);
    emu::Bytes longClaim = batchAnswer({profileAnswer(3, 100), profileAnswer(4, 100)});
    wire::putWord(longClaim.data() + 4, 0x7FFFFFF0u);
    const emu::Bytes last = batchAnswer({profileAnswer(5, 243)});
    answerFirstRequestWith(concat({shortClaim, longClaim, last}));
    ProfileRecord records[2];
    for (int i = 0; i < 3; ++i) ASSERT_EQ(lpSendMultipleProfileRequest(connection_, 2), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // all of it waiting
    ASSERT_EQ(lpReadMultipleProfiles(connection_, records, 2), 2);
    expectProfile(records[1], 2, 243);
    ASSERT_EQ(lpReadMultipleProfiles(connection_, records, 2), 2);
    expectProfile(records[1], 4, 100);
    ASSERT_EQ(lpReadMultipleProfiles(connection_, records, 2), 1);
    expectProfile(records[0], 5, 243);
}

// A length word that claims more than the batch holds, and a last profile
// shorter than the ones before: bytes of the next answer may have been
// taken, and the read says so instead of reporting success.
TEST_F(BatchReadTest, ReadAheadPastTheAnswerIsReportedAsFailure) {
    emu::Bytes lying = batchAnswer({profileAnswer(1, 200), profileAnswer(2, 200), profileAnswer(3, 1)});
    wire::putWord(lying.data() + 4, 0x7FFFFFF0u);
    const emu::Bytes next = batchAnswer({profileAnswer(4, 200), profileAnswer(5, 200)});
    answerFirstRequestWith(concat({lying, next}));
    ProfileRecord records[3];
    ASSERT_EQ(lpSendMultipleProfileRequest(connection_, 3), 0);
    ASSERT_EQ(lpSendMultipleProfileRequest(connection_, 2), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(lpReadMultipleProfiles(connection_, records, 3), KELO_ERROR_IO);
    // The profiles themselves were decoded.
    expectProfile(records[1], 2, 200);
    expectProfile(records[2], 3, 1);
}

TEST_F(BatchReadTest, CountBeyondWhatIsSentEndsWithTheTimeOut) {
    emu::Bytes lying = batchAnswer({profileAnswer(1, 20), profileAnswer(2, 20)});
    wire::putWord(lying.data() + 8, 0xFFFFFFFFu);
    answerFirstRequestWith(lying);
    ProfileRecord records[4];
    ASSERT_EQ(lpSendMultipleProfileRequest(connection_, 4), 0);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(lpReadMultipleProfilesTimeout(connection_, records, 4, 200), KELO_ERROR_TIMEOUT);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(), 3.0);
    expectProfile(records[1], 2, 20);
}

// The scanner's batch header opens a profile answer longer than the record
// inside the batch: that profile is read to its end and refused.
TEST_F(BatchReadTest, OverlongProfileInsideABatch) {
    answerFirstRequestWith(concat({batchAnswer({profileAnswer(1, 243, sizeof(ProfileRecord) + 12)}),
                                   batchAnswer({profileAnswer(2, 7)})}));
    ProfileRecord records[2];
    ASSERT_EQ(lpSendMultipleProfileRequest(connection_, 1), 0);
    ASSERT_EQ(lpSendMultipleProfileRequest(connection_, 1), 0);
    EXPECT_EQ(lpReadMultipleProfiles(connection_, records, 2), KELO_ERROR_IO);
    ASSERT_EQ(lpReadMultipleProfiles(connection_, records, 2), 1);
    expectProfile(records[0], 2, 7);
}

}  // namespace
}  // namespace kelo::test
