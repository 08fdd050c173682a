// Calibration numbers as text: "%.10g" out, "%lf"-style parsing in, and the
// counted strings they travel in.
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "config/counted_string.h"
#include "core/scanner_connection.h"
#include "core/transport.h"
#include "support/emulator_fixture.h"

namespace kelo::test {
namespace {

std::string formatted(double value) {
    std::string text;
    formatCalibrationNumber(value, text);
    return text;
}

TEST(CalibrationNumberText, TenSignificantDigitsInCLocaleForm) {
    EXPECT_EQ(formatted(0.0), "0");
    EXPECT_EQ(formatted(-0.0), "-0");
    EXPECT_EQ(formatted(1e-7), "1e-07");
    EXPECT_EQ(formatted(100.0), "100");
    EXPECT_EQ(formatted(-0.25), "-0.25");
    EXPECT_EQ(formatted(2.0 / 3.0), "0.6666666667");
    EXPECT_EQ(formatted(1234567890123.0), "1.23456789e+12");
    EXPECT_EQ(formatted(1234567890.0), "1234567890");
    EXPECT_EQ(formatted(12345678901.0), "1.23456789e+10");
    EXPECT_EQ(formatted(0.0001), "0.0001");
    EXPECT_EQ(formatted(0.00001), "1e-05");
    EXPECT_EQ(formatted(1e300), "1e+300");
    EXPECT_EQ(formatted(-std::numeric_limits<double>::denorm_min()), "-4.940656458e-324");
}

// The test process runs in the C locale, where printf is the reference.
TEST(CalibrationNumberText, MatchesPrintfOverAWideRange) {
    double value = 1.0;
    for (int i = 0; i < 400; ++i) {
        for (double v : {value, -value, value * 7.123456789012345, 1.0 / (value * 3.0)}) {
            char reference[64];
            std::snprintf(reference, sizeof reference, "%.10g", v);
            ASSERT_EQ(formatted(v), reference) << v;
        }
        value *= i % 2 ? 10.5 : 0.0123;
    }
}

TEST(CalibrationNumberText, ParsesTheLeadingNumberAsScanfDoes) {
    struct Case {
        const char* text;
        double expected;
    } cases[] = {
        {"12.5", 12.5},     {"12.5abc", 12.5}, {"  \t\n-3", -3.0}, {"+4.5", 4.5},
        {"1e5x", 1e5},      {"1e", 1.0},       {"0x1p3", 8.0},     {"-0x10", -16.0},
        {"0x", 0.0},        {".5", 0.5},       {"5.", 5.0},        {"-0", -0.0},
        {"1e-07", 1e-7},    {"0.6666666667", 0.6666666667},
        // Beyond the range of a double, what C scanning stores.
        {"1e999", HUGE_VAL}, {"-1e999", -HUGE_VAL}, {"1e-400", 0.0}, {"-1e-400", -0.0},
        {"0.00001e-320", 0.0}, {"12345e305", HUGE_VAL}, {"0x1p2000", HUGE_VAL}, {"1e-310", 1e-310},
    };
    for (const Case& c : cases) {
        double value = 99.0;
        EXPECT_TRUE(parseCalibrationNumber(c.text, &value)) << c.text;
        EXPECT_EQ(value, c.expected) << c.text;
        EXPECT_EQ(std::signbit(value), std::signbit(c.expected)) << c.text;
    }
    double infinite = 0.0;
    EXPECT_TRUE(parseCalibrationNumber("-inf", &infinite));
    EXPECT_TRUE(std::isinf(infinite) && infinite < 0);
    double nan = 0.0;
    EXPECT_TRUE(parseCalibrationNumber("nan", &nan));
    EXPECT_TRUE(std::isnan(nan));
}

TEST(CalibrationNumberText, TextWithoutANumberLeavesTheValue) {
    for (const char* text : {"", "   ", "abc", "--5", "+-5", "-", "+", ".", "e5"}) {
        double value = 42.0;
        EXPECT_FALSE(parseCalibrationNumber(text, &value)) << text;
        EXPECT_EQ(value, 42.0) << text;
    }
}

TEST(CalibrationNumberText, RoundTripKeepsTenDigits) {
    for (double v : {3.14159265358979, -2.5e-12, 6.02214076e23, 1.0 / 7.0}) {
        double back = 0.0;
        ASSERT_TRUE(parseCalibrationNumber(formatted(v), &back));
        EXPECT_NEAR(back, v, std::fabs(v) * 1e-9) << v;
    }
}

TEST(CountedStrings, AppendedAsCountThenBytes) {
    std::vector<std::uint8_t> out;
    appendCountedStrings(out, {"ab", "", std::string(1, '\0')});
    EXPECT_EQ(hex(out), "00 00 00 02 61 62 00 00 00 00 00 00 00 01 00");
    EXPECT_EQ(countedStringsSize({"ab", "", std::string(1, '\0')}), out.size());
}

class CountedStringRead : public EmulatorTest {
protected:
    // Sends raw bytes from the emulator when the library sends anything.
    void peerSends(const emu::Bytes& bytes, bool closeAfter) {
        emulator_.overrideCommand(kProbeCommand, [bytes, closeAfter](emu::Session& s, const emu::Command&) {
            s.sendRaw(bytes);
            if (closeAfter) s.close();
        });
        const auto trigger = wire::buildCommand(kProbeCommand);
        ASSERT_EQ(sendCommand(connection_->socket, trigger), 0);
    }
    // A code the protocol does not use, scripted to answer with raw bytes.
    static constexpr std::uint32_t kProbeCommand = 200;
};

TEST_F(CountedStringRead, ReadsTextsCutAtNulAndRefusesHugeCounts) {
    ASSERT_NE(open(), nullptr);
    emu::Bytes bytes;
    emu::appendCountedString(bytes, "hello");
    emu::appendCountedString(bytes, std::string("ab\0cd", 5));
    emu::appendCountedString(bytes, "");
    emu::appendCountedString(bytes, " 2.5e3 mm");
    emu::appendWord(bytes, kMaxCountedStringBytes + 1);
    peerSends(bytes, true);
    std::string text = "previous";
    ASSERT_EQ(readCountedString(connection_->socket, text), 0);
    EXPECT_EQ(text, "hello");
    ASSERT_EQ(readCountedString(connection_->socket, text), 0);
    EXPECT_EQ(text, "ab");
    ASSERT_EQ(readCountedString(connection_->socket, text), 0);
    EXPECT_EQ(text, "");
    double number = 0.0;
    ASSERT_EQ(readCountedNumber(connection_->socket, &number), 0);
    EXPECT_EQ(number, 2500.0);
    text = "kept";
    EXPECT_EQ(readCountedString(connection_->socket, text), -1);
    EXPECT_EQ(text, "kept");
}

TEST_F(CountedStringRead, CutTextFails) {
    ASSERT_NE(open(), nullptr);
    peerSends(bytesOf({0, 0, 0, 9, 'a', 'b'}), true);
    double number = 7.0;
    EXPECT_EQ(readCountedNumber(connection_->socket, &number), -1);
    EXPECT_EQ(number, 7.0);
}

}  // namespace
}  // namespace kelo::test
