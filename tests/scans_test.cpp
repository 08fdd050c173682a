// SPDX-License-Identifier: Apache-2.0
// Scans: wire bytes of the three requests, decoding, and bounds against a
// peer that sends the wrong thing.
#include <cstring>
#include <memory>
#include <vector>

#include "core/scanner_connection.h"
#include "profile_answers.h"
#include "support/emulator_fixture.h"
#include "support/g3_checks.h"

namespace kelo::test {
namespace {

using emu::answerBytes;
using emu::Bytes;

constexpr std::uint8_t kUntouched = 0xA5;

// A record with guard bytes behind it, all pre-filled with a pattern, so a
// write past the record or to words that should stay untouched shows.
struct GuardedScan {
    std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(sizeof(ScanRecord) + 4096, kUntouched);
    ScanRecord* record() { return reinterpret_cast<ScanRecord*>(bytes.data()); }
    bool untouchedFrom(std::size_t from, std::size_t to) const {
        return untouchedBytes(bytes.data(), from, to, kUntouched);
    }
    bool guardIntact() const { return untouchedFrom(sizeof(ScanRecord), bytes.size()); }
};

Bytes scanAnswer(const std::vector<std::uint32_t>& payloadWords) {
    Bytes payload;
    for (const std::uint32_t w : payloadWords) emu::appendWord(payload, w);
    return answerBytes(2, payload);
}

class ScanTest : public ConnectedTest {
protected:
    std::unique_ptr<ScanRecord> scan_ = std::make_unique<ScanRecord>();
    GuardedScan guarded_;
};

// Diagnostic values with the top bit set go out unchanged.
TEST_F(ScanTest, CommandBytes) {
    ScanRecord* scan = scan_.get();
    expectAll(0, {lpGetScan(c_, scan), lpGetScanN(c_, 2, scan), lpGetDiagnosticScan(c_, 1, 2, 3, scan),
                  lpGetDiagnosticScan(c_, 0xFFFFFFFFu, 0x80000000u, 0, scan)});
    EXPECT_EQ(scan->pointCount, 640);
    expectReceived(words({0x0D, 0, 0x2E, 4, 2, 0x55, 12, 1, 2, 3, 0x55, 12, 0xFFFFFFFFu, 0x80000000u, 0}));
}

// Null records are refused before the sync state is looked at.
TEST_F(ScanTest, RefusalsSendNothing) {
    ScanRecord* scan = scan_.get();
    expectAll(-2, {lpGetScan(nullptr, scan), lpGetScan(c_, nullptr), lpGetScanN(c_, 0, nullptr),
                   lpGetDiagnosticScan(nullptr, 1, 2, 3, scan)});
    c_->syncFlag = 1;
    expectAll(21, {lpGetScan(c_, scan), lpGetScanN(c_, 1, scan), lpGetDiagnosticScan(c_, 1, 2, 3, scan)});
    EXPECT_EQ(lpGetScan(c_, nullptr), -2);
    c_->syncFlag = 0;
    expectReceived({});
}

TEST_F(ScanTest, ProfileAnswerInsteadOfScanConsumesOnlyItsHeader) {
    const Bytes payload = words({1, 2, 3, 4, 5, 6, 7, 8, 9, 0});
    answerWith(13, answerBytes(0, payload));
    EXPECT_EQ(lpGetScan(c_, guarded_.record()), -1);
    EXPECT_TRUE(guarded_.untouchedFrom(0, sizeof(ScanRecord)));
    EXPECT_EQ(hex(leftInSocket(payload.size())), hex(payload));
}

// Only counted points are converted: the header alone for an empty or
// negative count; the words after stay as received (big-endian).
TEST_F(ScanTest, OnlyCountedPointsAreConverted) {
    const Bytes empty = scanAnswer({0x01020304, 2, 3, 4, 5, 6, 7, 8, 0, 0x0A0B0C0D, 0, 0, 0, 0, 0});
    answerWith(13, empty);
    ASSERT_EQ(lpGetScan(c_, guarded_.record()), 0);
    EXPECT_EQ(guarded_.record()->header[0], 0x01020304);
    EXPECT_EQ(guarded_.record()->header[7], 8);
    EXPECT_EQ(guarded_.record()->pointCount, 0);
    EXPECT_EQ(guarded_.bytes[36], 0x0A);
    EXPECT_EQ(guarded_.bytes[39], 0x0D);
    EXPECT_TRUE(guarded_.untouchedFrom(empty.size() - 8, sizeof(ScanRecord)));

    answerWith(13, scanAnswer({1, 2, 3, 4, 5, 6, 7, 8, 0xFFFFFFFFu, 0x0A0B0C0D}));
    ASSERT_EQ(lpGetScan(c_, guarded_.record()), 0);
    EXPECT_EQ(guarded_.record()->pointCount, -1);
    EXPECT_EQ(guarded_.bytes[36], 0x0A);

    answerWith(13, scanAnswer({0, 0, 0, 0, 0, 0, 0, 0, 1, 10, 20, 30, 0x11223344, 0, 0}));
    ASSERT_EQ(lpGetScan(c_, guarded_.record()), 0);
    EXPECT_EQ(guarded_.record()->points[0][0], 10);
    EXPECT_EQ(guarded_.record()->points[0][2], 30);
    EXPECT_EQ(guarded_.bytes[48], 0x11);  // second point left as received

    std::vector<std::uint32_t> full(9, 0);
    full[8] = KELO_SCAN_MAX_POINTS;
    for (std::uint32_t i = 0; i < 3u * KELO_SCAN_MAX_POINTS; ++i) full.push_back(i);
    answerWith(13, scanAnswer(full));
    ASSERT_EQ(lpGetScan(c_, guarded_.record()), 0);
    EXPECT_EQ(guarded_.record()->points[KELO_SCAN_MAX_POINTS - 1][2], 3 * KELO_SCAN_MAX_POINTS - 1);
    EXPECT_TRUE(guarded_.guardIntact());
}

// A payload one point longer than the record is read to its end and
// dropped; a count beyond the record is refused even when the payload
// fits. Neither writes to the record or past it.
TEST_F(ScanTest, TooLongOrTooManyIsRefused) {
    answerWith(13, scanAnswer({0, 0, 0, 0, 0, 0, 0, 0, 0x7FFFFFFF, 1, 2, 3}));
    EXPECT_EQ(lpGetScan(c_, guarded_.record()), -1);
    EXPECT_TRUE(guarded_.guardIntact());
    EXPECT_TRUE(guarded_.untouchedFrom(48, sizeof(ScanRecord)));

    GuardedScan scan;
    std::vector<std::uint32_t> tooLong(9 + 3 * (KELO_SCAN_MAX_POINTS + 1), 0x01010101);
    tooLong[8] = KELO_SCAN_MAX_POINTS + 1;
    const Bytes good = scanAnswer({9, 9, 9, 9, 9, 9, 9, 9, 0});
    answerWith(13, concat({scanAnswer(tooLong), good}));
    EXPECT_EQ(lpGetScan(c_, scan.record()), -1);
    EXPECT_TRUE(scan.untouchedFrom(0, scan.bytes.size()));
    emulator_.clearOverrides();
    // The answer behind the dropped one is next on the stream, intact.
    EXPECT_EQ(hex(leftInSocket(good.size())), hex(good));
    ASSERT_EQ(lpGetScan(c_, scan.record()), 0);
    EXPECT_EQ(scan.record()->pointCount, 640);
}

TEST_F(ScanTest, FaultsGiveMinusOne) {
    emulator_.setFault(emu::Fault::WrongType);
    EXPECT_EQ(lpGetScan(c_, scan_.get()), -1);
    lpCloseConnection(c_);
    c_ = open();
    ASSERT_NE(c_, nullptr);
    emulator_.setFault(emu::Fault::ShortAnswer);
    EXPECT_EQ(lpGetScanN(c_, 0, scan_.get()), -1);
    // The peer is gone: the next request fails too rather than hanging.
    EXPECT_EQ(lpGetScan(c_, scan_.get()), -1);
    lpCloseConnection(c_);
    c_ = open();
    ASSERT_NE(c_, nullptr);
    emulator_.setFault(emu::Fault::Silent);
    expectTakes(4.5, 10.0, [&] { EXPECT_EQ(lpGetDiagnosticScan(c_, 1, 2, 3, scan_.get()), -1); });
}

}  // namespace
}  // namespace kelo::test
