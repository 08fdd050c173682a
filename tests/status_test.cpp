// Status values and descriptions: the fetch, the lookup rule, repeated
// keys, cut descriptions, and state after failures.
#include <cstring>
#include <string>

#include "core/scanner_connection.h"
#include "emulator/status_state.h"
#include "support/emulator_fixture.h"

namespace kelo::test {
namespace {

using emu::appendWord;
using emu::answerBytes;
using emu::Bytes;
using emu::Command;
using emu::Session;

Bytes statusAnswer(std::initializer_list<std::pair<std::uint32_t, std::uint32_t>> pairs,
                   std::int32_t count) {
    Bytes payload;
    appendWord(payload, static_cast<std::uint32_t>(count));
    for (const auto& [key, value] : pairs) {
        appendWord(payload, key);
        appendWord(payload, value);
    }
    return answerBytes(24, payload);
}

Bytes statusAnswer(std::initializer_list<std::pair<std::uint32_t, std::uint32_t>> pairs) {
    return statusAnswer(pairs, static_cast<std::int32_t>(pairs.size()));
}

Bytes descriptionAnswer(const std::string& text) {
    Bytes payload;
    emu::appendCountedString(payload, text);
    return answerBytes(26, payload);
}

class StatusTest : public EmulatorTest {
protected:
    void SetUp() override {
        EmulatorTest::SetUp();
        c_ = open();
        ASSERT_NE(c_, nullptr);
    }
    void answerWith(std::uint32_t code, Bytes bytes) {
        emulator_.overrideCommand(code, [bytes](Session& s, const Command&) { s.sendRaw(bytes); });
    }
    std::int32_t valueOf(std::uint32_t key) {
        std::int32_t value = 0x12345678;
        EXPECT_EQ(lpGetScannerStatusValue(c_, key, &value), 0) << "key " << key;
        return value;
    }
    // -2 and the out-parameter left alone.
    void expectNotFound(std::uint32_t key) {
        std::int32_t value = 0x12345678;
        EXPECT_EQ(lpGetScannerStatusValue(c_, key, &value), -2) << "key " << key;
        EXPECT_EQ(value, 0x12345678);
    }
    ScannerConnection* c_ = nullptr;
};

TEST_F(StatusTest, FetchFromTheEmulatorAndLookUp) {
    ASSERT_EQ(lpGetScannerStatusFromScanner(c_), 0);
    expectReceived(bytesOf({0, 0, 0, 0x18, 0, 0, 0, 0}));
    EXPECT_EQ(c_->statusValues.size(), static_cast<std::size_t>(emu::kStatusKeyCount));
    EXPECT_EQ(valueOf(emu::kStatusSerialNumber), 1001);
    EXPECT_EQ(valueOf(emu::kStatusFirmwareVersion), 577);
    EXPECT_EQ(valueOf(emu::kStatusLaserCount), 1);
    EXPECT_EQ(valueOf(emu::kStatusProfileRateMilliHz), 2000000);
    // Key 8 equals the count and is looked up (not held); 9 exceeds it.
    expectNotFound(emu::kStatusKeyCount);
    expectNotFound(emu::kStatusKeyCount + 1);
}

TEST_F(StatusTest, LookupRuleKeyGreaterThanTheCount) {
    answerWith(24, statusAnswer({{0, 100}, {1, 101}, {2, 102}}));
    ASSERT_EQ(lpGetScannerStatusFromScanner(c_), 0);
    EXPECT_EQ(valueOf(2), 102);
    expectNotFound(3);
    expectNotFound(4);

    // Keys 5 and 7 are held, but each exceeds the count of 2.
    answerWith(24, statusAnswer({{5, 1}, {7, 2}}));
    ASSERT_EQ(lpGetScannerStatusFromScanner(c_), 0);
    EXPECT_EQ(c_->statusValues.size(), 2u);
    expectNotFound(5);
    expectNotFound(7);
    expectNotFound(0);

    // A key equal to the count passes the test and is found.
    answerWith(24, statusAnswer({{2, 22}, {0, 20}}));
    ASSERT_EQ(lpGetScannerStatusFromScanner(c_), 0);
    EXPECT_EQ(valueOf(2), 22);
    EXPECT_EQ(valueOf(0), 20);
    expectNotFound(1);
}

TEST_F(StatusTest, RepeatedKeysKeepTheFirstAndValuesKeepTheirBits) {
    answerWith(24, statusAnswer({{1, 10}, {1, 20}, {0, 0xFFFFFFFFu}, {0, 5}}));
    ASSERT_EQ(lpGetScannerStatusFromScanner(c_), 0);
    EXPECT_EQ(c_->statusValues.size(), 2u);
    EXPECT_EQ(valueOf(1), 10);
    EXPECT_EQ(valueOf(0), -1);
}

TEST_F(StatusTest, EmulatorListWithRepeatedKey) {
    {
        auto& state = emulator_.state<emu::StatusState>();
        std::lock_guard<std::mutex> lock(state.mutex);
        state.extraPairs = {{emu::kStatusSerialNumber, 9}, {2, 0x80000000u}};
    }
    ASSERT_EQ(lpGetScannerStatusFromScanner(c_), 0);
    EXPECT_EQ(valueOf(emu::kStatusSerialNumber), 1001);
    EXPECT_EQ(c_->statusValues.size(), static_cast<std::size_t>(emu::kStatusKeyCount));
}

TEST_F(StatusTest, EmptyListAndRefusals) {
    answerWith(24, statusAnswer({}));
    ASSERT_EQ(lpGetScannerStatusFromScanner(c_), 0);
    EXPECT_TRUE(c_->statusValues.empty());
    expectNotFound(0);
    expectNotFound(1);

    answerWith(24, statusAnswer({{0, 7}, {1, 8}}));
    ASSERT_EQ(lpGetScannerStatusFromScanner(c_), 0);
    std::int32_t value = 0;
    EXPECT_EQ(lpGetScannerStatusValue(nullptr, 0, &value), -2);
    EXPECT_EQ(lpGetScannerStatusValue(c_, 0, nullptr), -2);
    EXPECT_EQ(lpGetScannerStatusFromScanner(nullptr), -2);

    // Synchronised: the fetch is refused and sends nothing; lookups still
    // answer from the last fetch.
    emulator_.clearReceived();
    c_->syncFlag = 1;
    EXPECT_EQ(lpGetScannerStatusFromScanner(c_), 21);
    char text[8] = "xxxxxxx";
    EXPECT_EQ(lpGetStatusDescriptionFromScanner(c_, 1, text, 4), 21);
    EXPECT_STREQ(text, "xxxxxxx");
    EXPECT_EQ(valueOf(1), 8);
    c_->syncFlag = 0;
    expectReceived({});
}

TEST_F(StatusTest, FailedFetchLeavesTheValuesEmpty) {
    answerWith(24, statusAnswer({{0, 1}}));
    ASSERT_EQ(lpGetScannerStatusFromScanner(c_), 0);
    ASSERT_EQ(valueOf(0), 1);

    // Count 3 announced, one pair sent, then the peer closes.
    Bytes truncated = statusAnswer({{0, 1}}, 3);
    emulator_.overrideCommand(24, [truncated](Session& s, const Command&) {
        s.sendRaw(truncated);
        s.close();
    });
    EXPECT_EQ(lpGetScannerStatusFromScanner(c_), -1);
    EXPECT_TRUE(c_->statusValues.empty());
    expectNotFound(0);
}

// Counts that cannot be held are refused before anything is allocated.
TEST_F(StatusTest, NegativeOrHugeCountIsRefused) {
    answerWith(24, statusAnswer({{0, 1}}));
    ASSERT_EQ(lpGetScannerStatusFromScanner(c_), 0);
    // Only the count is sent, so nothing is left behind in the stream.
    answerWith(24, statusAnswer({}, -1));
    EXPECT_EQ(lpGetScannerStatusFromScanner(c_), -1);
    EXPECT_TRUE(c_->statusValues.empty());
    answerWith(24, statusAnswer({}, KELO_STATUS_MAX_VALUES + 1));
    EXPECT_EQ(lpGetScannerStatusFromScanner(c_), -1);
    EXPECT_TRUE(c_->statusValues.empty());
}

TEST_F(StatusTest, DescriptionFromTheEmulator) {
    char text[64];
    std::memset(text, 'x', sizeof text);
    ASSERT_EQ(lpGetStatusDescriptionFromScanner(c_, emu::kStatusLaserCount, text, 63), 0);
    expectReceived(bytesOf({0, 0, 0, 0x1A, 0, 0, 0, 4, 0, 0, 0, 4}));
    EXPECT_STREQ(text, emu::statusDescription(emu::kStatusLaserCount).c_str());
    // The bounded copy zero-fills up to maxLength.
    EXPECT_EQ(text[62], '\0');
    EXPECT_EQ(text[63], 'x');

    emulator_.clearReceived();
    ASSERT_EQ(lpGetStatusDescriptionFromScanner(c_, 0xFFFFFFFEu, text, 63), 0);
    expectReceived(bytesOf({0, 0, 0, 0x1A, 0, 0, 0, 4, 0xFF, 0xFF, 0xFF, 0xFE}));
    EXPECT_STREQ(text, "Unknown status item 4294967294");
}

TEST_F(StatusTest, DescriptionIsCutToMaxLength) {
    answerWith(26, descriptionAnswer("0123456789"));
    char text[32];
    std::memset(text, 'x', sizeof text);
    ASSERT_EQ(lpGetStatusDescriptionFromScanner(c_, 3, text, 4), 0);
    EXPECT_EQ(std::string(text, 5), std::string("0123\0", 5));
    EXPECT_EQ(text[5], 'x');  // nothing past maxLength + 1 bytes

    std::memset(text, 'x', sizeof text);
    ASSERT_EQ(lpGetStatusDescriptionFromScanner(c_, 3, text, 20), 0);
    EXPECT_STREQ(text, "0123456789");
    // Zeros over the first maxLength bytes, the terminator at index 10.
    for (int i = 10; i < 20; ++i) EXPECT_EQ(text[i], '\0') << i;
    EXPECT_EQ(text[20], 'x');

    std::memset(text, 'x', sizeof text);
    ASSERT_EQ(lpGetStatusDescriptionFromScanner(c_, 3, text, 10), 0);
    EXPECT_STREQ(text, "0123456789");
    EXPECT_EQ(text[11], 'x');

    std::memset(text, 'x', sizeof text);
    ASSERT_EQ(lpGetStatusDescriptionFromScanner(c_, 3, text, 0), 0);
    EXPECT_EQ(text[0], '\0');
    EXPECT_EQ(text[1], 'x');
}

TEST_F(StatusTest, DescriptionWithNulEmptyOrBroken) {
    answerWith(26, descriptionAnswer(std::string("ab\0cd", 5)));
    char text[16];
    std::memset(text, 'x', sizeof text);
    ASSERT_EQ(lpGetStatusDescriptionFromScanner(c_, 1, text, 15), 0);
    EXPECT_STREQ(text, "ab");
    EXPECT_EQ(text[4], '\0');

    answerWith(26, descriptionAnswer(""));
    std::memset(text, 'x', sizeof text);
    ASSERT_EQ(lpGetStatusDescriptionFromScanner(c_, 1, text, 15), 0);
    EXPECT_STREQ(text, "");

    EXPECT_EQ(lpGetStatusDescriptionFromScanner(nullptr, 1, text, 15), -2);
    EXPECT_EQ(lpGetStatusDescriptionFromScanner(c_, 1, nullptr, 15), -2);

    // Length 10 announced, 3 bytes sent, peer gone: the buffer is untouched.
    Bytes truncated = descriptionAnswer("abc");
    truncated[11] = 10;
    emulator_.overrideCommand(26, [truncated](Session& s, const Command&) {
        s.sendRaw(truncated);
        s.close();
    });
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(lpGetStatusDescriptionFromScanner(c_, 1, text, 15), -1);
    EXPECT_EQ(std::string(text, sizeof text), std::string(sizeof text, 'x'));
}

TEST_F(StatusTest, DescriptionTooLongIsRefused) {
    Bytes answer = answerBytes(26, {});
    appendWord(answer, KELO_STATUS_MAX_DESCRIPTION + 1);
    answerWith(26, answer);
    char text[16];
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(lpGetStatusDescriptionFromScanner(c_, 1, text, 15), -1);
    EXPECT_EQ(text[0], 'x');
}

}  // namespace
}  // namespace kelo::test
