// SPDX-License-Identifier: Apache-2.0
// Calibration numbers as text: "%.10g" out, "%lf"-style parsing in.
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "config/counted_string.h"

namespace kelo::test {
namespace {

std::string formatted(double value) {
    std::string text;
    formatCalibrationNumber(value, text);
    return text;
}

// The test process runs in the C locale, where printf is the reference:
// over a wide range and at the edges (signed zero, exponent switch, the
// smallest denormal).
TEST(CalibrationNumberText, MatchesPrintfTenSignificantDigits) {
    std::vector<double> values = {0.0, -0.0, 1234567890.0, 12345678901.0, 0.0001, 0.00001, 1e300,
                                  -std::numeric_limits<double>::denorm_min()};
    double value = 1.0;
    for (int i = 0; i < 400; ++i) {
        values.insert(values.end(), {value, -value, value * 7.123456789012345, 1.0 / (value * 3.0)});
        value *= i % 2 ? 10.5 : 0.0123;
    }
    for (double v : values) {
        char reference[64];
        std::snprintf(reference, sizeof reference, "%.10g", v);
        ASSERT_EQ(formatted(v), reference) << v;
    }
    EXPECT_EQ(formatted(-std::numeric_limits<double>::denorm_min()), "-4.940656458e-324");
}

TEST(CalibrationNumberText, ParsesTheLeadingNumberAsScanfDoes) {
    struct Case {
        const char* text;
        double expected;
    } cases[] = {
        {"12.5", 12.5},     {"12.5abc", 12.5}, {"  \t\n-3", -3.0}, {"+4.5", 4.5},
        {"1e5x", 1e5},      {"1e", 1.0},       {"0x1p3", 8.0},     {"-0x10", -16.0},
        {"0x", 0.0},        {".5", 0.5},       {"5.", 5.0},        {"-0", -0.0},
        {"1e-07", 1e-7},    {"0.6666666667", 0.6666666667},        {"-inf", -HUGE_VAL},
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
    double nan = 0.0;
    EXPECT_TRUE(parseCalibrationNumber("nan", &nan) && std::isnan(nan));
    // Text without a number leaves the value.
    for (const char* text : {"", "   ", "abc", "--5", "+-5", "-", "+", ".", "e5"}) {
        double value = 42.0;
        EXPECT_FALSE(parseCalibrationNumber(text, &value)) << text;
        EXPECT_EQ(value, 42.0) << text;
    }
}

}  // namespace
}  // namespace kelo::test
