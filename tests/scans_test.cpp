// Scans: wire bytes of the three requests, decoding, and bounds against a
// peer that sends the wrong thing.
#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

#include "core/scanner_connection.h"
#include "core/transport.h"
#include "emulator/scan_image_state.h"
#include "support/emulator_fixture.h"

namespace kelo::test {
namespace {

using emu::appendWord;
using emu::answerBytes;
using emu::Bytes;
using emu::Command;
using emu::Session;

constexpr std::uint8_t kUntouched = 0xA5;

// A record with guard bytes behind it, all pre-filled with a pattern, so a
// write past the record or to words that should stay untouched shows.
struct GuardedScan {
    static constexpr std::size_t kGuard = 4096;
    std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(sizeof(ScanRecord) + kGuard, kUntouched);
    ScanRecord* record() { return reinterpret_cast<ScanRecord*>(bytes.data()); }
    bool guardIntact() const {
        for (std::size_t i = sizeof(ScanRecord); i < bytes.size(); ++i) {
            if (bytes[i] != kUntouched) return false;
        }
        return true;
    }
    bool untouchedFrom(std::size_t offset, std::size_t length) const {
        for (std::size_t i = offset; i < offset + length; ++i) {
            if (bytes[i] != kUntouched) return false;
        }
        return true;
    }
};

Bytes scanPayload(const std::vector<std::uint32_t>& words) {
    Bytes payload;
    for (std::uint32_t w : words) appendWord(payload, w);
    return payload;
}

class ScanTest : public EmulatorTest {};

TEST_F(ScanTest, PlainScanSendsCommand13AndDecodesTheEmulatorsScan) {
    ScannerConnection* c = open();
    ASSERT_NE(c, nullptr);
    auto scan = std::make_unique<ScanRecord>();
    ASSERT_EQ(lpGetScan(c, scan.get()), 0);
    expectReceived(bytesOf({0, 0, 0, 0x0D, 0, 0, 0, 0}));

    const auto& camera = emulator_.state<emu::CameraState>();
    ASSERT_EQ(scan->pointCount, static_cast<std::int32_t>(camera.width.load()));
    EXPECT_EQ(scan->header[emu::kScanWidth], 640);
    EXPECT_EQ(scan->header[emu::kScanHeight], 480);
    for (int i = 0; i < scan->pointCount; ++i) {
        ASSERT_EQ(scan->points[i][0], i);
        ASSERT_EQ(scan->points[i][1],
                  static_cast<std::int32_t>(emu::laserLineRow(i, 640, 480, 0)));
        ASSERT_EQ(scan->points[i][2], emu::kLinePixel);
    }
}

TEST_F(ScanTest, LaserAndDiagnosticFormsSendTheirPayloads) {
    ScannerConnection* c = open();
    ASSERT_NE(c, nullptr);
    auto scan = std::make_unique<ScanRecord>();
    ASSERT_EQ(lpGetScanN(c, 2, scan.get()), 0);
    expectReceived(bytesOf({0, 0, 0, 0x2E, 0, 0, 0, 4, 0, 0, 0, 2}));
    EXPECT_EQ(scan->header[emu::kScanLaser], 2);
    EXPECT_EQ(scan->points[5][1], static_cast<std::int32_t>(emu::laserLineRow(5, 640, 480, 2)));

    emulator_.clearReceived();
    ASSERT_EQ(lpGetDiagnosticScan(c, 1, 2, 3, scan.get()), 0);
    expectReceived(bytesOf({0, 0, 0, 0x55, 0, 0, 0, 0x0C, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3}));
    EXPECT_EQ(scan->header[emu::kScanDiagnostic1], 1);
    EXPECT_EQ(scan->header[emu::kScanDiagnostic2], 2);
    EXPECT_EQ(scan->header[emu::kScanDiagnostic3], 3);

    // Values with the top bit set go out unchanged.
    emulator_.clearReceived();
    ASSERT_EQ(lpGetDiagnosticScan(c, 0xFFFFFFFFu, 0x80000000u, 0, scan.get()), 0);
    expectReceived(bytesOf({0, 0, 0, 0x55, 0, 0, 0, 0x0C, 0xFF, 0xFF, 0xFF, 0xFF, 0x80, 0, 0, 0,
                            0, 0, 0, 0}));
}

TEST_F(ScanTest, RefusalsSendNothing) {
    ScannerConnection* c = open();
    ASSERT_NE(c, nullptr);
    auto scan = std::make_unique<ScanRecord>();
    EXPECT_EQ(lpGetScan(nullptr, scan.get()), -2);
    EXPECT_EQ(lpGetScan(c, nullptr), -2);
    EXPECT_EQ(lpGetScanN(c, 0, nullptr), -2);
    EXPECT_EQ(lpGetDiagnosticScan(nullptr, 1, 2, 3, scan.get()), -2);
    c->syncFlag = 1;
    EXPECT_EQ(lpGetScan(c, scan.get()), 21);
    EXPECT_EQ(lpGetScanN(c, 1, scan.get()), 21);
    EXPECT_EQ(lpGetDiagnosticScan(c, 1, 2, 3, scan.get()), 21);
    // Null before state: a null record on a synchronised connection is -2.
    EXPECT_EQ(lpGetScan(c, nullptr), -2);
    c->syncFlag = 0;
    expectReceived({});
}

TEST_F(ScanTest, ProfileAnswerInsteadOfScanConsumesOnlyItsHeader) {
    ScannerConnection* c = open();
    ASSERT_NE(c, nullptr);
    Bytes payload = scanPayload({1, 2, 3, 4, 5, 6, 7, 8, 9, 0});  // 40 bytes
    answerWith(13, answerBytes(0, payload));
    GuardedScan scan;
    EXPECT_EQ(lpGetScan(c, scan.record()), -1);
    EXPECT_TRUE(scan.untouchedFrom(0, sizeof(ScanRecord)));
    EXPECT_EQ(hex(leftInSocket(payload.size())), hex(payload));
}

TEST_F(ScanTest, EmptyAndNegativeCountsConvertOnlyTheHeader) {
    ScannerConnection* c = open();
    ASSERT_NE(c, nullptr);
    // Nine header words and two points' worth of raw bytes after them.
    Bytes payload = scanPayload({0x01020304, 2, 3, 4, 5, 6, 7, 8, 0, 0x0A0B0C0D, 0, 0, 0, 0, 0});
    answerWith(13, answerBytes(2, payload));
    GuardedScan scan;
    ASSERT_EQ(lpGetScan(c, scan.record()), 0);
    EXPECT_EQ(scan.record()->header[0], 0x01020304);
    EXPECT_EQ(scan.record()->header[7], 8);
    EXPECT_EQ(scan.record()->pointCount, 0);
    // The words after the header stay as received (big-endian).
    EXPECT_EQ(scan.bytes[36], 0x0A);
    EXPECT_EQ(scan.bytes[39], 0x0D);
    EXPECT_TRUE(scan.untouchedFrom(payload.size(), sizeof(ScanRecord) - payload.size()));

    answerWith(13, answerBytes(2, scanPayload({1, 2, 3, 4, 5, 6, 7, 8, 0xFFFFFFFFu, 0x0A0B0C0D})));
    ASSERT_EQ(lpGetScan(c, scan.record()), 0);
    EXPECT_EQ(scan.record()->pointCount, -1);
    EXPECT_EQ(scan.bytes[36], 0x0A);
}

TEST_F(ScanTest, OnlyCountedPointsAreConverted) {
    ScannerConnection* c = open();
    ASSERT_NE(c, nullptr);
    answerWith(13, answerBytes(2, scanPayload({0, 0, 0, 0, 0, 0, 0, 0, 1, 10, 20, 30,
                                               0x11223344, 0, 0})));
    GuardedScan scan;
    ASSERT_EQ(lpGetScan(c, scan.record()), 0);
    EXPECT_EQ(scan.record()->points[0][0], 10);
    EXPECT_EQ(scan.record()->points[0][2], 30);
    EXPECT_EQ(scan.bytes[48], 0x11);  // second point left as received
}

TEST_F(ScanTest, FullRecordIsConverted) {
    ScannerConnection* c = open();
    ASSERT_NE(c, nullptr);
    std::vector<std::uint32_t> words(9, 0);
    words[8] = KELO_SCAN_MAX_POINTS;
    for (std::uint32_t i = 0; i < 3u * KELO_SCAN_MAX_POINTS; ++i) words.push_back(i);
    answerWith(13, answerBytes(2, scanPayload(words)));
    GuardedScan scan;
    ASSERT_EQ(lpGetScan(c, scan.record()), 0);
    EXPECT_EQ(scan.record()->points[KELO_SCAN_MAX_POINTS - 1][2], 3 * KELO_SCAN_MAX_POINTS - 1);
    EXPECT_TRUE(scan.guardIntact());
}

// A payload one point longer than the record is read to its end and
// dropped: the record and the memory behind it stay untouched, and the
// next answer is read in step.
TEST_F(ScanTest, PayloadLongerThanTheRecordIsDropped) {
    ScannerConnection* c = open();
    ASSERT_NE(c, nullptr);
    std::vector<std::uint32_t> words(9 + 3 * (KELO_SCAN_MAX_POINTS + 1), 0x01010101);
    words[8] = KELO_SCAN_MAX_POINTS + 1;
    Bytes answer = answerBytes(2, scanPayload(words));
    Bytes good = answerBytes(2, scanPayload({9, 9, 9, 9, 9, 9, 9, 9, 0}));
    answer.insert(answer.end(), good.begin(), good.end());
    answerWith(13, answer);
    GuardedScan scan;
    EXPECT_EQ(lpGetScan(c, scan.record()), -1);
    EXPECT_TRUE(scan.untouchedFrom(0, scan.bytes.size()));

    emulator_.clearOverrides();
    // The answer behind the dropped one is next on the stream, intact.
    EXPECT_EQ(hex(leftInSocket(good.size())), hex(good));
    ASSERT_EQ(lpGetScan(c, scan.record()), 0);
    EXPECT_EQ(scan.record()->pointCount, 640);
}

// A count larger than the record can hold must not send the decoder, or
// the caller, past the record, even when the payload itself fits.
TEST_F(ScanTest, CountBeyondCapacityIsRefused) {
    ScannerConnection* c = open();
    ASSERT_NE(c, nullptr);
    answerWith(13, answerBytes(2, scanPayload({0, 0, 0, 0, 0, 0, 0, 0, 0x7FFFFFFF, 1, 2, 3})));
    GuardedScan scan;
    EXPECT_EQ(lpGetScan(c, scan.record()), -1);
    EXPECT_TRUE(scan.guardIntact());
    EXPECT_TRUE(scan.untouchedFrom(48, sizeof(ScanRecord) - 48));
}

TEST_F(ScanTest, FaultsGiveMinusOne) {
    ScannerConnection* c = open();
    ASSERT_NE(c, nullptr);
    auto scan = std::make_unique<ScanRecord>();
    emulator_.setFault(emu::Fault::WrongType);
    EXPECT_EQ(lpGetScan(c, scan.get()), -1);
    lpCloseConnection(c);
    connection_ = nullptr;

    c = open();
    ASSERT_NE(c, nullptr);
    emulator_.setFault(emu::Fault::ShortAnswer);
    EXPECT_EQ(lpGetScanN(c, 0, scan.get()), -1);
    // The peer is gone: the next request fails too rather than hanging.
    EXPECT_EQ(lpGetScan(c, scan.get()), -1);
}

TEST_F(ScanTest, SilentScannerGivesMinusOneAfterTheDefaultTimeout) {
    ScannerConnection* c = open();
    ASSERT_NE(c, nullptr);
    emulator_.setFault(emu::Fault::Silent);
    auto scan = std::make_unique<ScanRecord>();
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(lpGetDiagnosticScan(c, 1, 2, 3, scan.get()), -1);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_GE(seconds, 4.5);
    EXPECT_LT(seconds, 10.0);
}

}  // namespace
}  // namespace kelo::test
