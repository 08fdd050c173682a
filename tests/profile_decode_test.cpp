// SPDX-License-Identifier: Apache-2.0
// Decoding of profile answers into records: byte order, point counts, the
// no-profile and batch forms, and a scanner that lies about sizes.
#include <cstring>

#include "acquisition/profile_decoder.h"
#include "core/command_codes.h"
#include "core/scanner_connection.h"
#include "profile_answers.h"
#include "support/emulator_fixture.h"
#include "support/g3_checks.h"

namespace kelo::test {
namespace {

// A record with guard words on both sides, to see writes past it.
template <typename Record>
struct Guarded {
    std::uint32_t before[16];
    Record record;
    std::uint32_t after[16];
    Guarded() { fillUntouched(this, 1); }
    bool guardsIntact() const {
        return untouchedBytes(before, 0, sizeof before, 0xA5) && untouchedBytes(after, 0, sizeof after, 0xA5);
    }
};

class ProfileDecodeTest : public ConnectedTest {
protected:
    // Every profile request (command 10) is answered with these bytes,
    // followed by a tagged sentinel profile that shows where the stream is.
    void answerProfileRequestWith(const emu::Bytes& bytes) {
        answerInTurn(emulator_, kCmdProfileRequest, {concat({bytes, profileAnswer(kSentinelTag, 2)})});
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

// The ten lead words are converted always, the points only as counted; a
// negative count leaves them in wire order.
TEST_F(ProfileDecodeTest, WordsConvertedByPointCount) {
    ProfileRecord record;
    answerProfileRequestWith(profileAnswer(1, 0));
    fillUntouched(&record, 1);
    ASSERT_EQ(lpGetProfile(connection_, &record), 0);
    for (std::size_t i = 0; i < 9; ++i) EXPECT_EQ(recordWord(record, i), scriptedWord(1, i)) << i;
    EXPECT_EQ(record.pointCount, 0);
    EXPECT_TRUE(untouchedBytes(&record, 40, sizeof record, 0xA5));
    expectSentinelNext();

    answerProfileRequestWith(profileAnswer(2, 243));
    ASSERT_EQ(lpGetProfile(connection_, &record), 0);
    EXPECT_EQ(record.pointCount, 243);
    for (std::size_t i = 0; i < 739; ++i) ASSERT_EQ(recordWord(record, i), i == 9 ? 243u : scriptedWord(2, i)) << i;
    expectSentinelNext();

    answerProfileRequestWith(profileAnswer(3, -5, profileLength(4)));
    ASSERT_EQ(lpGetProfile(connection_, &record), 0);
    EXPECT_EQ(record.pointCount, -5);
    EXPECT_EQ(recordWord(record, 8), scriptedWord(3, 8));
    EXPECT_EQ(recordWord(record, 10), swapped(scriptedWord(3, 10)));
    EXPECT_EQ(recordWord(record, 21), swapped(scriptedWord(3, 21)));
    expectSentinelNext();
}

// No-profile, unknown and batch answers (nested too) are consumed whole; an
// unknown type only by its header, as its length word announces nothing.
TEST_F(ProfileDecodeTest, AnswerTypes) {
    const struct {
        const char* name;
        emu::Bytes answer;
        int32_t result;
        std::uint32_t firstTag;
    } cases[] = {
        {"no profile", emu::answerBytes(34, {}), KELO_ERROR_NO_PROFILE, 0},
        {"unknown type", words({5, 0}), KELO_ERROR_IO, 0},
        {"empty batch", batchAnswer({}), KELO_ERROR_NO_PROFILE, 0},
        {"batch", batchAnswer({profileAnswer(4, 10), profileAnswer(5, 243), profileAnswer(6, 1)}), 0, 4},
        {"nested", batchAnswer({batchAnswer({profileAnswer(8, 3), profileAnswer(9, 3)}), profileAnswer(10, 3)}), 0, 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ProfileRecord record;
        answerProfileRequestWith(c.answer);
        ASSERT_EQ(lpGetProfile(connection_, &record), c.result);
        if (c.result == 0) {
            EXPECT_EQ(recordWord(record, 0), scriptedWord(c.firstTag, 0));
        }
        expectSentinelNext();
    }
    // Batch headers opening batch headers, far deeper than any scanner
    // nests: the decoder gives up instead of recursing on.
    emu::Bytes deep;
    const emu::Bytes level = words({39, 0, 1});
    for (int i = 0; i < 10000; ++i) deep.insert(deep.end(), level.begin(), level.end());
    answerInTurn(emulator_, kCmdProfileRequest, {deep});
    ProfileRecord record;
    EXPECT_EQ(lpGetProfile(connection_, &record), KELO_ERROR_IO);
}

TEST_F(ProfileDecodeTest, HeaderThenSilenceTimesOutWithTheHeaderConsumed) {
    answerInTurn(emulator_, kCmdProfileRequest, {words({0, 100})});
    ASSERT_EQ(lpSendProfileRequest(connection_), 0);
    ProfileRecord record;
    expectTakes(0.25, 3.0, [&] { EXPECT_EQ(decodeProfile(connection_->link(), &record, 300), KELO_ERROR_TIMEOUT); });
}

// A payload longer than the record is read to its end and refused; a point
// count beyond the record's room is cut to it, so a reader that trusts it
// stays inside. Nothing is written past the record; the stream stays in
// step. A large record holds twice the points; its answer does not fit the
// ordinary record.
TEST_F(ProfileDecodeTest, RecordBounds) {
    Guarded<ProfileRecord> overlong;
    answerProfileRequestWith(profileAnswer(11, 243, sizeof(ProfileRecord) + 5000));
    EXPECT_EQ(lpGetProfile(connection_, &overlong.record), KELO_ERROR_IO);
    EXPECT_TRUE(overlong.guardsIntact());
    expectSentinelNext();

    Guarded<ProfileRecord> g;
    answerProfileRequestWith(profileAnswer(12, 100000, sizeof(ProfileRecord)));
    ASSERT_EQ(lpGetProfile(connection_, &g.record), 0);
    EXPECT_EQ(g.record.pointCount, KELO_PROFILE_MAX_POINTS);
    EXPECT_EQ(recordWord(g.record, 738), scriptedWord(12, 738));
    EXPECT_TRUE(g.guardsIntact());
    expectSentinelNext();

    answerProfileRequestWith(profileAnswer(13, 486));
    ASSERT_EQ(lpSendProfileRequest(connection_), 0);
    Guarded<LargeProfileRecord> large;
    ASSERT_EQ(decodeProfile(connection_->link(), &large.record, 2000), 0);
    EXPECT_EQ(large.record.pointCount, 486);
    EXPECT_EQ(recordWord(large.record, 1467), scriptedWord(13, 1467));
    EXPECT_TRUE(large.guardsIntact());
    expectSentinelNext();
    ASSERT_EQ(lpSendProfileRequest(connection_), 0);
    EXPECT_EQ(decodeProfile(connection_->link(), &g.record, 2000), KELO_ERROR_IO);
}

}  // namespace
}  // namespace kelo::test
