// SPDX-License-Identifier: Apache-2.0
// Run-time overrides: exact command bytes, scaling and truncation, ranges
// and the order of the checks.
#include <cmath>
#include <limits>

#if defined(_WIN32) && defined(__i386__)
#include <float.h>
#define KELO_TEST_X87_PRECISION 1
#endif

#include "control/overrides_scaling.h"
#include "core/scanner_connection.h"
#include "support/emulator_fixture.h"
#include "support/g3_checks.h"

namespace kelo::test {
namespace {

using emu::Bytes;

std::uint32_t u(std::int32_t value) { return static_cast<std::uint32_t>(value); }

class OverrideTest : public ConnectedTest {};

// Out of range (NaN, infinities, beyond 32 bits) is marked by INT32_MIN;
// -2147483.6489 truncates into range.
TEST(OverrideScaling, TruncatesTowardZeroAndMarksOutOfRange) {
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double value, scale;
        std::int32_t expected;
    } cases[] = {{0.0025, kScaleMicro, 2500}, {-0.0000019, kScaleMicro, -1}, {1.9999, kScaleMilli, 1999},
                 {-1.9999, kScaleMilli, -1999}, {2147483.647, kScaleMilli, 2147483647},
                 {-2147483.648, kScaleMilli, INT32_MIN}, {2147483.648, kScaleMilli, INT32_MIN},
                 {-2147483.6489, kScaleMilli, INT32_MIN}, {-2147483.650, kScaleMilli, INT32_MIN},
                 {1e300, kScaleMilli, INT32_MIN}, {-inf, kScaleMilli, INT32_MIN},
                 {std::nan(""), kScaleMilli, INT32_MIN}};
    for (const auto& c : cases) EXPECT_EQ(scaledValue(c.value, c.scale), c.expected) << c.value;
    EXPECT_EQ(scaledWord(-0.0000019, kScaleMicro), 0xFFFFFFFFu);
}

TEST_F(OverrideTest, SyncSettingsBytesWithEveryScale) {
    EXPECT_EQ(lpOverrideSyncSettings(nullptr, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0), -2);
    c_->syncFlag = 1;
    EXPECT_EQ(lpOverrideSyncSettings(c_, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0), 21);
    c_->syncFlag = 0;
    ASSERT_EQ(lpOverrideSyncSettings(c_, 0.0025, 1.5, -2.25, 0xCAFEBABEu, 2, 1.0, -0.5, 3.0009, 0.0, 1e12, 255, 0),
              0);
    ASSERT_EQ(lpOverrideSyncSettings(c_, -0.0000019, std::nan(""), 0, 0, 0, 0, 0, 0, 0, 0, 0, 2), 0);
    expectReceived(words({60, 48, 2500, 15000, u(-22500), 0xCAFEBABEu, 2, 1000, u(-500), 3000, 0, 0x80000000u, 255,
                          0, 60, 48, 0xFFFFFFFFu, 0x80000000u, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2}));
}

// The sync state is tested before the ranges, which include both bounds.
TEST_F(OverrideTest, AutoexposureBytesRangesAndCheckOrder) {
    const auto set = [this](double r1, double r2, double r3, std::uint32_t i1, std::int32_t i2, std::uint32_t i3) {
        return lpOverrideLaserAutoexposure(c_, r1, r2, r3, i1, i2, i3, 0);
    };
    const double nan = std::nan("");
    expectAll(-2, {set(0.009, 1, 1, 0, 1, 0), set(1, 650.001, 1, 0, 1, 0), set(1, 1, -1, 0, 1, 0),
                   set(nan, 1, 1, 0, 1, 0), set(1, 1, 1, 1024, 1, 0), set(1, 1, 1, 0, 0, 0), set(1, 1, 1, 0, 101, 0),
                   set(1, 1, 1, 0, -5, 0), set(1, 1, 1, 0, 1, 1024),
                   lpOverrideLaserAutoexposure(nullptr, 0, 0, 0, 5000, 0, 0, 0)});
    c_->syncFlag = 1;
    expectAll(21, {set(0.0, 1000.0, 1, 5000, 0, 5000), set(1, 1, 1, 0, 1, 0)});
    c_->syncFlag = 0;
    ASSERT_EQ(lpOverrideLaserAutoexposure(c_, 0.01, 650.0, 325.5, 1023, 100, 0, 2), 0);
    ASSERT_EQ(set(1.0, 2.0, 3.0, 0, 1, 1023), 0);
    expectReceived(words({58, 28, 10, 650000, 325500, 1023, 100, 0, 2, 58, 28, 1000, 2000, 3000, 0, 1, 1023, 0}));
}

// Maxima must be strictly above minima; the smaller values have no lower
// bound and saturate far below.
TEST_F(OverrideTest, ScanWindowBytesAndStrictOrder) {
    const auto set = [this](double r1, double r2, double r3, double r4) {
        return lpOverrideScanWindow(c_, r1, r2, r3, r4);
    };
    const double nan = std::nan("");
    expectAll(-2, {set(100, 100, -50, 50), set(100, 101, -50, 50), set(100, -100, 50, 50), set(100, -100, 60, 50),
                   set(2147483.0, -100, -50, 50), set(100, -100, -50, 2147483.0), set(nan, -100, -50, 50),
                   set(100, -100, nan, 50), lpOverrideScanWindow(nullptr, 100, -100, -50, 50)});
    c_->syncFlag = 1;
    expectAll(21, {set(100, 100, -50, 50), set(100, -100, -50, 50)});
    c_->syncFlag = 0;
    ASSERT_EQ(set(100.0, -100.0, -50.0, 50.0), 0);
    ASSERT_EQ(set(2147482.9999, -1e9, -1e9, 0.0015), 0);
    expectReceived(words({59, 16, 100000, u(-100000), u(-50000), 50000,  //
                          59, 16, 2147482999, 0x80000000u, 0x80000000u, 1}));
}

// Ranges come before the state: bad exposures on an idle connection are -2.
TEST_F(OverrideTest, AlternatingExposureOnlyWhileSynchronised) {
    expectAll(-2, {lpSetAlternatingExposure(c_, 1, 9, 100), lpSetAlternatingExposure(c_, 255, 100, 650001),
                   lpSetAlternatingExposure(nullptr, 1, 9, 100)});
    expectAll(21, {lpSetAlternatingExposure(c_, 1, 10, 650000), lpSetAlternatingExposure(c_, 0, -5, 0)});
    c_->syncFlag = 1;
    expectAll(-2, {lpSetAlternatingExposure(c_, 1, 9, 100), lpSetAlternatingExposure(c_, 1, 100, 650001)});
    ASSERT_EQ(lpSetAlternatingExposure(c_, 0, 0, -5), 0);
    ASSERT_EQ(lpSetAlternatingExposure(c_, 2, 10, 650000), 0);
    c_->syncFlag = 0;
    expectReceived(words({61, 12, 0, 0, u(-5), 61, 12, 2, 10, 650000}));
}

#ifdef KELO_TEST_X87_PRECISION
// Runs with the x87 precision a host may leave set (MinGW and Delphi
// programs at 64 bits, Direct3D 9 at 24), restoring the caller's afterwards.
class X87Precision {
public:
    explicit X87Precision(unsigned precision) : saved_(_controlfp(0, 0)) {
        _controlfp(precision, _MCW_PC);
    }
    ~X87Precision() { _controlfp(saved_, _MCW_PC); }

private:
    unsigned saved_;
};

// Each value is one whose product rounds differently at 24 or 64 bits than
// as a double; the words must be the double product truncated.
TEST_F(OverrideTest, ScaledWordsDoNotDependOnTheCallersX87Precision) {
    for (const unsigned precision : {_PC_24, _PC_53, _PC_64}) {
        SCOPED_TRACE("x87 precision control " + std::to_string(precision));
        emulator_.clearReceived();
        {
            const X87Precision scope(precision);
            ASSERT_EQ(_controlfp(0, 0) & _MCW_PC, precision);
            ASSERT_EQ(lpOverrideSyncSettings(c_, 1234.567891, 0.03, 12345.6789, 7, 1, 0.29,
                                             123456.789, -0.29, 0.57, -123456.789, 0, 2),
                      0);
            ASSERT_EQ(lpOverrideLaserAutoexposure(c_, 0.29, 649.99999, 1.13, 0, 1, 0, 0), 0);
            ASSERT_EQ(lpOverrideScanWindow(c_, 123456.789, 0.29, -0.29, 0.03), 0);
        }
        Bytes expected = words({60, 48, 1234567891, 300, 123456789, 7, 1, 290, 123456789,
                                u(-290), 570, u(-123456789), 0, 2});
        const Bytes autoexposure = words({58, 28, 290, 649999, 1130, 0, 1, 0, 0});
        const Bytes scanWindow = words({59, 16, 123456789, 290, u(-290), 30});
        expected.insert(expected.end(), autoexposure.begin(), autoexposure.end());
        expected.insert(expected.end(), scanWindow.begin(), scanWindow.end());
        expectReceived(expected);
    }
}
#endif

TEST_F(OverrideTest, FailedSendGivesMinusOne) {
    // A socket that is closed under the connection makes every send fail.
    net::closeSocket(c_->socket);
    c_->socket = net::kInvalidSocket;
    expectAll(-1, {lpOverrideScanWindow(c_, 100.0, -100.0, -50.0, 50.0),
                   lpOverrideSyncSettings(c_, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0),
                   lpOverrideLaserAutoexposure(c_, 1, 1, 1, 0, 1, 0, 0)});
    c_->syncFlag = 1;
    EXPECT_EQ(lpSetAlternatingExposure(c_, 0, 0, 0), -1);
    c_->syncFlag = 0;
}

}  // namespace
}  // namespace kelo::test
