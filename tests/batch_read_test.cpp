// Batch reads against scanners that send awkwardly: profiles of different
// sizes, answers in small pieces, and length words or counts that lie.
#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
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
};

void expectProfile(const ProfileRecord& record, std::uint32_t tag, std::int32_t points) {
    ASSERT_EQ(record.pointCount, points) << "tag " << tag;
    for (std::size_t i = 0; i < 10 + 3 * static_cast<std::size_t>(points); ++i) {
        if (i != 9) ASSERT_EQ(recordWord(record, i), scriptedWord(tag, i)) << "tag " << tag << " word " << i;
    }
}

// How a scripted answer reaches the library: all at once and waiting
// before the read starts, in pieces with pauses, or one byte at a time.
enum class Delivery { Whole, Pieces, Bytewise };

struct DeliveryCase {
    const char* name;
    Delivery delivery;
};

const DeliveryCase kDeliveries[] = {
    {"whole", Delivery::Whole}, {"pieces", Delivery::Pieces}, {"bytewise", Delivery::Bytewise}};

void deliver(emu::Session& s, const emu::Bytes& bytes, Delivery delivery) {
    const std::size_t piece =
        delivery == Delivery::Whole ? bytes.size() : delivery == Delivery::Pieces ? 701 : 1;
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
        s.sendRaw(bytes.data() + at, std::min(piece, bytes.size() - at));
        if (delivery != Delivery::Whole && (at / piece) % 97 == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
}

class BatchDeliveryTest : public BatchReadTest, public ::testing::WithParamInterface<DeliveryCase> {
protected:
    // The first batch request is answered with `bytes`, delivered as the
    // case says.
    void answerFirstRequestWith(emu::Bytes bytes) {
        const Delivery delivery = GetParam().delivery;
        answerOnceWith(kCmdMultipleProfileRequest,
                       [bytes, delivery](emu::Session& s) { deliver(s, bytes, delivery); });
    }
    // Requests batches; for whole delivery the reads start once all is in.
    void request(int batches) {
        for (int i = 0; i < batches; ++i) ASSERT_EQ(lpSendMultipleProfileRequest(connection_, 3), 0);
        if (GetParam().delivery == Delivery::Whole) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
};

TEST_P(BatchDeliveryTest, ProfilesOfDifferentSizes) {
    const std::int32_t sizes[] = {30, 243, 0, 31, 1, 242, 5};
    std::vector<emu::Bytes> profiles;
    for (std::uint32_t i = 0; i < 7; ++i) profiles.push_back(profileAnswer(i + 1, sizes[i]));
    answerFirstRequestWith(batchAnswer(profiles));
    ProfileRecord records[6];
    request(1);
    ASSERT_EQ(lpReadMultipleProfilesTimeout(connection_, records, 6, 2000), 6);
    for (std::uint32_t i = 0; i < 6; ++i) expectProfile(records[i], i + 1, sizes[i]);
}

// The batch's length word does not tell where it ends: one that claims more
// or less than follows neither fails the read nor takes the next answer.
TEST_P(BatchDeliveryTest, LengthWordsThatLie) {
    const std::uint32_t claims[] = {0x7FFFFFFFu, 4, 0};  // 0: the true length + 100
    for (std::uint32_t claim : claims) {
        SCOPED_TRACE(claim);
        emu::Bytes lying = batchAnswer({profileAnswer(1, 200), profileAnswer(2, 200), profileAnswer(3, 1)});
        wire::putWord(lying.data() + 4, claim ? claim : wire::getWord(lying.data() + 4) + 100);
        answerFirstRequestWith(concat({lying, batchAnswer({profileAnswer(4, 200)})}));
        ProfileRecord records[3];
        request(2);
        ASSERT_EQ(lpReadMultipleProfilesTimeout(connection_, records, 3, 2000), 3);
        expectProfile(records[0], 1, 200);
        expectProfile(records[2], 3, 1);
        ASSERT_EQ(lpReadMultipleProfilesTimeout(connection_, records, 3, 2000), 1);
        expectProfile(records[0], 4, 200);
    }
}

// An inner answer that is no profile ends the read; the stream stands right
// after it, so the next single read takes the profile behind it, and the
// answer after the batch follows.
TEST_P(BatchDeliveryTest, StreamStandsAfterTheFailingInnerAnswer) {
    struct Case {
        std::uint32_t innerType;
        std::int32_t result;
    } const cases[] = {{34, KELO_ERROR_NO_PROFILE}, {7, KELO_ERROR_IO}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.innerType);
        const emu::Bytes batch =
            batchAnswer({profileAnswer(1, 243), emu::answerBytes(c.innerType, {}), profileAnswer(2, 20)});
        answerFirstRequestWith(concat({batch, batchAnswer({profileAnswer(3, 9)})}));
        ProfileRecord records[3];
        request(2);
        EXPECT_EQ(lpReadMultipleProfilesTimeout(connection_, records, 3, 2000), c.result);
        expectProfile(records[0], 1, 243);
        ProfileRecord single;
        ASSERT_EQ(lpReadProfile(connection_, &single), 0);
        expectProfile(single, 2, 20);
        ASSERT_EQ(lpReadProfile(connection_, &single), 0);
        expectProfile(single, 3, 9);
    }
}

// A profile longer than its record (243 points announced in 2964 bytes)
// fails the read once the rest of its batch has been read too: the next
// batch, the batch drained on leaving sync mode and the status fetch after
// it are exact.
TEST_P(BatchDeliveryTest, OversizeProfileIsReadWithTheRestOfItsBatch) {
    const emu::Bytes oversize = batchAnswer({profileAnswer(1, 10), profileAnswer(2, 243, 2964), profileAnswer(3, 10)});
    answerFirstRequestWith(concat({oversize, batchAnswer({profileAnswer(4, 5)}), batchAnswer({profileAnswer(5, 9)})}));
    ProfileRecord records[3];
    request(3);
    EXPECT_EQ(lpReadMultipleProfilesTimeout(connection_, records, 3, 2000), KELO_ERROR_IO);
    EXPECT_EQ(lpGetLastFailure(connection_), KELO_FAILURE_TOO_LONG);
    EXPECT_EQ(lpGetLastFailureDetail(connection_), 2964);
    ASSERT_EQ(lpReadMultipleProfilesTimeout(connection_, records, 3, 2000), 1);
    expectProfile(records[0], 4, 5);
    EXPECT_EQ(lpExitSyncMode(connection_), 0);
    ASSERT_EQ(lpGetScannerStatusFromScanner(connection_), 0);
    std::int32_t serial = 0;
    ASSERT_EQ(lpGetScannerStatusValue(connection_, 0, &serial), 0);
    EXPECT_EQ(static_cast<std::uint32_t>(serial), emulator_.config().serialNumber);
}

INSTANTIATE_TEST_SUITE_P(Arrivals, BatchDeliveryTest, ::testing::ValuesIn(kDeliveries),
                         [](const auto& info) { return std::string(info.param.name); });

// A negative time-out is refused by the wait, even with the batch waiting,
// and nothing of the answer is taken.
TEST_F(BatchReadTest, NegativeTimeOutFailsWithDataWaiting) {
    answerOnceWith(kCmdMultipleProfileRequest, batchAnswer({profileAnswer(1, 12)}));
    ProfileRecord record;
    ASSERT_EQ(lpSendMultipleProfileRequest(connection_, 1), 0);
    ASSERT_EQ(lpSendMultipleProfileRequest(connection_, 1), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(lpReadMultipleProfilesTimeout(connection_, &record, 1, -1), KELO_ERROR_IO);
    ASSERT_EQ(lpReadMultipleProfilesTimeout(connection_, &record, 1, 1000), 1);
    expectProfile(record, 1, 12);
}

TEST_F(BatchReadTest, CountBeyondWhatIsSentEndsWithTheTimeOut) {
    emu::Bytes lying = batchAnswer({profileAnswer(1, 20), profileAnswer(2, 20)});
    wire::putWord(lying.data() + 8, 0xFFFFFFFFu);
    answerOnceWith(kCmdMultipleProfileRequest, lying);
    ProfileRecord records[4];
    ASSERT_EQ(lpSendMultipleProfileRequest(connection_, 4), 0);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(lpReadMultipleProfilesTimeout(connection_, records, 4, 200), KELO_ERROR_TIMEOUT);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(), 3.0);
    expectProfile(records[1], 2, 20);
}

// Waiting in slices for a late batch gives nothing up: the answer stays
// owed through the time-outs and arrives whole.
TEST_F(BatchReadTest, WaitForAnswerKeepsALateBatchOwed) {
    answerOnceWith(kCmdMultipleProfileRequest, [](emu::Session& s) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        s.sendRaw(batchAnswer({profileAnswer(1, 40)}));
    });
    ASSERT_EQ(lpSendMultipleProfileRequest(connection_, 1), 0);
    EXPECT_EQ(lpWaitForAnswer(connection_, 0), KELO_ERROR_TIMEOUT);
    EXPECT_EQ(lpWaitForAnswer(connection_, 100), KELO_ERROR_TIMEOUT);
    EXPECT_EQ(lpGetLastFailure(connection_), KELO_FAILURE_TIMEOUT);
    EXPECT_EQ(lpGetNumberOfOutstandingRequests(connection_), 1);
    EXPECT_EQ(lpWaitForAnswer(connection_, 2000), 0);
    EXPECT_EQ(lpGetLastFailure(connection_), KELO_FAILURE_NONE);
    ProfileRecord record;
    ASSERT_EQ(lpReadMultipleProfilesTimeout(connection_, &record, 1, 1000), 1);
    expectProfile(record, 1, 40);
    EXPECT_EQ(lpGetNumberOfOutstandingRequests(connection_), 0);
}

}  // namespace
}  // namespace kelo::test
