// Decoding of profile answers into records: byte order, point counts, the
// no-profile and batch forms, and a scanner that lies about sizes.
#include <chrono>
#include <cstring>

#include "acquisition/profile_decoder.h"
#include "core/scanner_connection.h"
#include "profile_answers.h"
#include "support/emulator_fixture.h"

namespace kelo::test {
namespace {

// A record with guard words on both sides, to see writes past it.
template <typename Record>
struct Guarded {
    std::uint32_t before[16];
    Record record;
    std::uint32_t after[16];
};

template <typename Record>
void expectGuardsIntact(const Guarded<Record>& g) {
    for (std::uint32_t word : g.before) ASSERT_EQ(word, kUntouched);
    for (std::uint32_t word : g.after) ASSERT_EQ(word, kUntouched);
}

class ProfileDecodeTest : public EmulatorTest {
protected:
    // Every profile request (command 10) is answered with these bytes,
    // followed by a tagged sentinel profile that shows where the stream is.
    void answerProfileRequestWith(const emu::Bytes& bytes) {
        emulator_.overrideCommand(kCmdProfileRequest, [bytes](emu::Session& s, const emu::Command&) {
            s.sendRaw(bytes);
            s.sendRaw(profileAnswer(kSentinelTag, 2));
        });
    }
    // The next answer on the connection is the sentinel, whole.
    void expectSentinelNext() {
        ProfileRecord next;
        ASSERT_EQ(lpReadProfile(connection_, &next), 0);
        EXPECT_EQ(static_cast<std::uint32_t>(next.header[0]), scriptedWord(kSentinelTag, 0));
        EXPECT_EQ(next.pointCount, 2);
        EXPECT_EQ(static_cast<std::uint32_t>(next.points[1][2]), scriptedWord(kSentinelTag, 15));
    }
    static constexpr std::uint32_t kSentinelTag = 0x77;
};

TEST_F(ProfileDecodeTest, EmptyProfileConvertsOnlyTheTenLeadWords) {
    ASSERT_NE(open(), nullptr);
    answerProfileRequestWith(profileAnswer(1, 0));
    ProfileRecord record;
    fillUntouched(&record, 1);
    ASSERT_EQ(lpGetProfile(connection_, &record), 0);
    for (std::size_t i = 0; i < 9; ++i) EXPECT_EQ(recordWord(record, i), scriptedWord(1, i)) << i;
    EXPECT_EQ(record.pointCount, 0);
    for (std::size_t i = 10; i < 739; ++i) ASSERT_EQ(recordWord(record, i), kUntouched) << i;
    expectSentinelNext();
}

TEST_F(ProfileDecodeTest, FullProfileConvertsEveryWord) {
    ASSERT_NE(open(), nullptr);
    answerProfileRequestWith(profileAnswer(2, 243));
    ProfileRecord record;
    ASSERT_EQ(lpGetProfile(connection_, &record), 0);
    EXPECT_EQ(record.pointCount, 243);
    for (std::size_t i = 0; i < 739; ++i) {
        if (i != 9) ASSERT_EQ(recordWord(record, i), scriptedWord(2, i)) << i;
    }
    expectSentinelNext();
}

TEST_F(ProfileDecodeTest, NegativePointCountLeavesPointsAsReceived) {
    ASSERT_NE(open(), nullptr);
    answerProfileRequestWith(profileAnswer(3, -5, profileLength(4)));
    ProfileRecord record;
    ASSERT_EQ(lpGetProfile(connection_, &record), 0);
    EXPECT_EQ(record.pointCount, -5);
    EXPECT_EQ(recordWord(record, 8), scriptedWord(3, 8));
    EXPECT_EQ(recordWord(record, 10), swapped(scriptedWord(3, 10)));
    EXPECT_EQ(recordWord(record, 21), swapped(scriptedWord(3, 21)));
    expectSentinelNext();
}

TEST_F(ProfileDecodeTest, NoProfileAndUnknownTypesReadOnlyTheHeader) {
    ASSERT_NE(open(), nullptr);
    ProfileRecord record;
    answerProfileRequestWith(emu::answerBytes(34, {}));
    EXPECT_EQ(lpGetProfile(connection_, &record), KELO_ERROR_NO_PROFILE);
    expectSentinelNext();
    // The header of an unknown type is all that is taken; its length word
    // announces nothing that follows here.
    answerProfileRequestWith(bytesOf({0, 0, 0, 5, 0, 0, 0, 0}));
    EXPECT_EQ(lpGetProfile(connection_, &record), KELO_ERROR_IO);
    expectSentinelNext();
}

TEST_F(ProfileDecodeTest, BatchGivesItsFirstProfileAndConsumesTheRest) {
    ASSERT_NE(open(), nullptr);
    ProfileRecord record;
    answerProfileRequestWith(batchAnswer({}));
    EXPECT_EQ(lpGetProfile(connection_, &record), KELO_ERROR_NO_PROFILE);
    expectSentinelNext();

    answerProfileRequestWith(
        batchAnswer({profileAnswer(4, 10), profileAnswer(5, 243), profileAnswer(6, 1)}));
    ASSERT_EQ(lpGetProfile(connection_, &record), 0);
    EXPECT_EQ(recordWord(record, 0), scriptedWord(4, 0));
    EXPECT_EQ(record.pointCount, 10);
    expectSentinelNext();
}

TEST_F(ProfileDecodeTest, NestedBatchesDecodeAndEndlessNestingIsRefused) {
    ASSERT_NE(open(), nullptr);
    ProfileRecord record;
    answerProfileRequestWith(
        batchAnswer({batchAnswer({profileAnswer(8, 3), profileAnswer(9, 3)}), profileAnswer(10, 3)}));
    ASSERT_EQ(lpGetProfile(connection_, &record), 0);
    EXPECT_EQ(recordWord(record, 0), scriptedWord(8, 0));
    expectSentinelNext();

    // Batch headers opening batch headers, far deeper than any scanner
    // nests: the decoder gives up instead of recursing on.
    emu::Bytes deep;
    const emu::Bytes level = bytesOf({0, 0, 0, 39, 0, 0, 0, 0, 0, 0, 0, 1});
    for (int i = 0; i < 10000; ++i) deep.insert(deep.end(), level.begin(), level.end());
    emulator_.overrideCommand(kCmdProfileRequest,
                              [deep](emu::Session& s, const emu::Command&) { s.sendRaw(deep); });
    EXPECT_EQ(lpGetProfile(connection_, &record), KELO_ERROR_IO);
}

TEST_F(ProfileDecodeTest, HeaderThenSilenceTimesOutWithTheHeaderConsumed) {
    ASSERT_NE(open(), nullptr);
    emulator_.overrideCommand(kCmdProfileRequest, [](emu::Session& s, const emu::Command&) {
        s.sendRaw(bytesOf({0, 0, 0, 0, 0, 0, 0, 100}));
    });
    ASSERT_EQ(lpSendProfileRequest(connection_), 0);
    ProfileRecord record;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(decodeProfile(connection_->socket, &record, 300), KELO_ERROR_TIMEOUT);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_GE(seconds, 0.25);
    EXPECT_LT(seconds, 3.0);
}

// A payload longer than the record: read to its end and dropped, nothing
// written past the record, and the next answer read in step.
TEST_F(ProfileDecodeTest, OverlongPayloadIsDrainedAndRefused) {
    ASSERT_NE(open(), nullptr);
    answerProfileRequestWith(profileAnswer(11, 243, sizeof(ProfileRecord) + 5000));
    Guarded<ProfileRecord> g;
    fillUntouched(&g, 1);
    EXPECT_EQ(lpGetProfile(connection_, &g.record), KELO_ERROR_IO);
    expectGuardsIntact(g);
    expectSentinelNext();
}

// A point count beyond the record's room converts what the record holds
// and is cut to it, so a reader that trusts it stays inside the record.
TEST_F(ProfileDecodeTest, PointCountBeyondTheRecordIsCutToIt) {
    ASSERT_NE(open(), nullptr);
    answerProfileRequestWith(profileAnswer(12, 100000, sizeof(ProfileRecord)));
    Guarded<ProfileRecord> g;
    fillUntouched(&g, 1);
    ASSERT_EQ(lpGetProfile(connection_, &g.record), 0);
    EXPECT_EQ(g.record.pointCount, KELO_PROFILE_MAX_POINTS);
    EXPECT_EQ(recordWord(g.record, 738), scriptedWord(12, 738));
    expectGuardsIntact(g);
    expectSentinelNext();
}

TEST_F(ProfileDecodeTest, LargeRecordHoldsTwiceThePoints) {
    ASSERT_NE(open(), nullptr);
    answerProfileRequestWith(profileAnswer(13, 486));
    ASSERT_EQ(lpSendProfileRequest(connection_), 0);
    Guarded<LargeProfileRecord> g;
    fillUntouched(&g, 1);
    ASSERT_EQ(decodeProfile(connection_->socket, &g.record, 2000), 0);
    EXPECT_EQ(g.record.pointCount, 486);
    EXPECT_EQ(recordWord(g.record, 1467), scriptedWord(13, 1467));
    expectGuardsIntact(g);
    expectSentinelNext();
    // The same answer does not fit a ProfileRecord.
    ASSERT_EQ(lpSendProfileRequest(connection_), 0);
    ProfileRecord small;
    EXPECT_EQ(decodeProfile(connection_->socket, &small, 2000), KELO_ERROR_IO);
}

}  // namespace
}  // namespace kelo::test
