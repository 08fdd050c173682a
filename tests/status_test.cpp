// SPDX-License-Identifier: Apache-2.0
// Status values and descriptions: the fetch, the lookup rule, repeated
// keys, cut descriptions, and state after failures.
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "core/scanner_connection.h"
#include "support/emulator_fixture.h"
#include "support/g3_checks.h"

namespace kelo::test {
namespace {

using emu::Bytes;
using Pairs = std::vector<std::pair<std::uint32_t, std::uint32_t>>;

Bytes statusAnswer(const Pairs& pairs, std::optional<std::int32_t> count = {}) {
    Bytes payload;
    emu::appendWord(payload, static_cast<std::uint32_t>(count.value_or(std::int32_t(pairs.size()))));
    for (const auto& [key, value] : pairs) {
        emu::appendWord(payload, key);
        emu::appendWord(payload, value);
    }
    return emu::answerBytes(24, payload);
}

Bytes descriptionAnswer(const std::string& text) {
    Bytes payload;
    emu::appendCountedString(payload, text);
    return emu::answerBytes(26, payload);
}

class StatusTest : public ConnectedTest {
protected:
    // Sends these bytes for `code` and closes the connection behind them.
    void answerAndClose(std::uint32_t code, Bytes bytes) {
        emulator_.overrideCommand(code, [bytes](emu::Session& s, const emu::Command&) {
            s.sendRaw(bytes);
            s.close();
        });
    }
    // The lookup's result and value; -2 leaves the value alone.
    std::pair<std::int32_t, std::int32_t> lookUp(std::uint32_t key) {
        std::int32_t value = 0x12345678;
        return {lpGetScannerStatusValue(c_, key, &value), value};
    }
};

// A key is looked up only when it does not exceed the count; the first of
// repeated keys wins; values keep their bits.
TEST_F(StatusTest, FetchAndLookupRule) {
    const struct {
        Pairs sent, found;
        std::vector<std::uint32_t> missing;
        std::size_t held;
    } cases[] = {
        {Pairs{{0, 100}, {1, 101}, {2, 102}}, {{2, 102}}, {3, 4}, 3},
        {Pairs{{5, 1}, {7, 2}}, {}, {5, 7, 0}, 2},
        {Pairs{{2, 22}, {0, 20}}, {{2, 22}, {0, 20}}, {1}, 2},
        {Pairs{{1, 10}, {1, 20}, {0, 0xFFFFFFFFu}, {0, 5}}, {{1, 10}, {0, 0xFFFFFFFFu}}, {}, 2},
        {Pairs{}, {}, {0, 1}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(hex(statusAnswer(c.sent)));
        answerWith(24, statusAnswer(c.sent));
        emulator_.clearReceived();
        ASSERT_EQ(lpGetScannerStatusFromScanner(c_), 0);
        expectReceived(bytesOf({0, 0, 0, 0x18, 0, 0, 0, 0}));
        EXPECT_EQ(c_->statusValues.size(), c.held);
        for (const auto& [key, value] : c.found) EXPECT_EQ(lookUp(key), std::make_pair(0, std::int32_t(value))) << key;
        for (std::uint32_t key : c.missing) EXPECT_EQ(lookUp(key), std::make_pair(-2, 0x12345678)) << key;
    }
}

// Refused calls leave the caller's buffer alone and send nothing.
TEST_F(StatusTest, NullArgumentsAreRefused) {
    std::int32_t value = 0;
    char text[8] = "xxxxxxx";
    emulator_.clearReceived();
    expectAll(-2, {lpGetScannerStatusValue(nullptr, 0, &value), lpGetScannerStatusValue(c_, 0, nullptr),
                   lpGetScannerStatusFromScanner(nullptr), lpGetStatusDescriptionFromScanner(nullptr, 1, text, 4),
                   lpGetStatusDescriptionFromScanner(c_, 1, nullptr, 4)});
    c_->syncFlag = 1;
    EXPECT_EQ(lpGetStatusDescriptionFromScanner(c_, 1, text, 4), 21);
    EXPECT_EQ(lpGetScannerStatusFromScanner(c_), 21);
    EXPECT_STREQ(text, "xxxxxxx");
    expectReceived({});
}

// The request carries the id; the text up to its first NUL, cut to
// maxLength, zero-filled over the first maxLength bytes, terminated, and
// nothing written beyond.
TEST_F(StatusTest, DescriptionIsCopiedBoundedAndZeroFilled) {
    using namespace std::string_literals;
    const auto padded = [](std::string text, std::size_t size) {
        text.resize(size);
        return text;
    };
    const struct {
        std::string sent;
        std::uint32_t id, maxLength;
        std::string written;
    } cases[] = {
        {"0123456789", 0xFFFFFFFEu, 4, "0123\0"s}, {"0123456789", 3, 20, padded("0123456789", 20)},
        {"0123456789", 3, 10, "0123456789\0"s},   {"0123456789", 0, 0, "\0"s},
        {"ab\0cd"s, 3, 63, padded("ab", 63)},       {"", 3, 15, padded("", 15)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.id) + " " + std::to_string(c.maxLength));
        answerWith(26, descriptionAnswer(c.sent));
        emulator_.clearReceived();
        char text[64];
        std::memset(text, 'x', sizeof text);
        ASSERT_EQ(lpGetStatusDescriptionFromScanner(c_, c.id, text, c.maxLength), 0);
        expectReceived(bytesOf({0, 0, 0, 0x1A, 0, 0, 0, 4, c.id >> 24, (c.id >> 16) & 255,
                                (c.id >> 8) & 255, c.id & 255}));
        EXPECT_EQ(std::string(text, sizeof text), c.written + std::string(sizeof text - c.written.size(), 'x'));
    }
}

// A cut answer, or a count or length beyond its bound (refused before
// anything is allocated), gives -1: a failed fetch leaves no values, a failed
// description leaves the values and the caller's buffer alone.
TEST_F(StatusTest, BrokenAnswersFail) {
    Bytes tooLong = emu::answerBytes(26, {});
    emu::appendWord(tooLong, KELO_STATUS_MAX_DESCRIPTION + 1);
    Bytes cut = descriptionAnswer("abc");
    cut[11] = 10;  // announces 10, sends 3
    const struct {
        std::uint32_t code;
        Bytes answer;
    } cases[] = {
        {24, statusAnswer({}, -1)}, {24, statusAnswer({}, KELO_STATUS_MAX_VALUES + 1)},
        {24, statusAnswer({{0, 1}}, 3)}, {26, tooLong}, {26, cut},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(hex(c.answer));
        answerWith(24, statusAnswer({{0, 1}}));
        ASSERT_EQ(lpGetScannerStatusFromScanner(c_), 0);
        answerAndClose(c.code, c.answer);
        char text[16];
        std::memset(text, 'x', sizeof text);
        EXPECT_EQ(c.code == 24 ? lpGetScannerStatusFromScanner(c_)
                               : lpGetStatusDescriptionFromScanner(c_, 1, text, 15),
                  -1);
        EXPECT_EQ(std::string(text, sizeof text), std::string(sizeof text, 'x'));
        EXPECT_EQ(c_->statusValues.size(), c.code == 24 ? 0u : 1u);
        lpCloseConnection(c_);
        ASSERT_NE(c_ = open(), nullptr);
    }
}

}  // namespace
}  // namespace kelo::test
