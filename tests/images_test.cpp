// Images and image scans: wire bytes, the image matching its scan, the
// pixel accessor, and answers of the wrong type, too long or missing.
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

constexpr std::uint8_t kUntouched = 0x5A;

std::unique_ptr<ImageRecord> freshImage() {
    auto image = std::make_unique<ImageRecord>();
    std::memset(image.get(), kUntouched, sizeof(ImageRecord));
    return image;
}

std::unique_ptr<ScanRecord> freshScan() {
    auto scan = std::make_unique<ScanRecord>();
    std::memset(scan.get(), kUntouched, sizeof(ScanRecord));
    return scan;
}

bool allUntouched(const void* record, std::size_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(record);
    for (std::size_t i = 0; i < size; ++i) {
        if (bytes[i] != kUntouched) return false;
    }
    return true;
}

Bytes smallImage(std::uint32_t rowLength, std::uint32_t rows, std::uint8_t fill) {
    Bytes payload;
    for (std::uint32_t w : {7u, 8u, rows, rowLength, 9u}) appendWord(payload, w);
    payload.insert(payload.end(), std::size_t(rowLength) * rows, fill);
    return payload;
}

Bytes emptyScan() {
    Bytes payload;
    for (int i = 0; i < 9; ++i) appendWord(payload, i == 0 ? 77 : 0);
    return payload;
}

class ImageTest : public EmulatorTest {};

// The emulator draws the laser line where its scan says it is: each scan
// point's pixel is the line's brightness, and the header words are in
// host order.
TEST_F(ImageTest, ImageScanImageMatchesItsScan) {
    ScannerConnection* c = open();
    ASSERT_NE(c, nullptr);
    auto image = freshImage();
    auto scan = freshScan();
    ASSERT_EQ(lpGetImageScan(c, image.get(), scan.get()), 0);
    expectReceived(bytesOf({0, 0, 0, 0x0C, 0, 0, 0, 0}));
    ASSERT_EQ(image->rowLength, 640u);
    EXPECT_EQ(image->header[emu::kImageRows], 480);
    EXPECT_EQ(image->header4, 8);
    EXPECT_EQ(image->header[emu::kImageFrame], scan->header[emu::kScanFrame]);
    ASSERT_EQ(scan->pointCount, 640);
    for (int i = 0; i < scan->pointCount; ++i) {
        const auto column = static_cast<std::uint32_t>(scan->points[i][0]);
        const auto row = static_cast<std::uint32_t>(scan->points[i][1]);
        ASSERT_EQ(lpGetImagePixel(image.get(), column, row), emu::kLinePixel) << "point " << i;
    }
    // Away from the line there is only noise.
    const std::uint32_t lineRow = emu::laserLineRow(0, 640, 480, 0);
    const std::uint32_t farRow = lineRow > 100 ? lineRow - 100 : lineRow + 100;
    EXPECT_LE(lpGetImagePixel(image.get(), 0, farRow), emu::kNoiseMaximum);
    // Pixels past the image were not written.
    EXPECT_TRUE(allUntouched(image->pixels + 640 * 480, sizeof(image->pixels) - 640 * 480));
}

TEST_F(ImageTest, CommandBytesOfEveryForm) {
    ScannerConnection* c = open();
    ASSERT_NE(c, nullptr);
    auto image = freshImage();
    auto scan = freshScan();

    ASSERT_EQ(lpGetImage(c, image.get()), 0);
    expectReceived(bytesOf({0, 0, 0, 0x0B, 0, 0, 0, 0}));

    emulator_.clearReceived();
    ASSERT_EQ(lpGetImageN(c, 3, image.get()), 0);
    expectReceived(bytesOf({0, 0, 0, 0x2C, 0, 0, 0, 4, 0, 0, 0, 3}));
    EXPECT_EQ(image->header[emu::kImageLaser], 3);

    emulator_.clearReceived();
    ASSERT_EQ(lpGetImageScanN(c, 2, image.get(), scan.get()), 0);
    expectReceived(bytesOf({0, 0, 0, 0x2D, 0, 0, 0, 4, 0, 0, 0, 2}));
    EXPECT_EQ(image->header[emu::kImageLaser], 2);
    EXPECT_EQ(scan->header[emu::kScanLaser], 2);
    EXPECT_EQ(lpGetImagePixel(image.get(), 100, emu::laserLineRow(100, 640, 480, 2)),
              emu::kLinePixel);

    emulator_.clearReceived();
    ASSERT_EQ(lpGetDiagnosticImageScan(c, 4, 5, 0xA0000006u, image.get(), scan.get()), 0);
    expectReceived(bytesOf({0, 0, 0, 0x56, 0, 0, 0, 0x0C, 0, 0, 0, 4, 0, 0, 0, 5, 0xA0, 0, 0, 6}));
    EXPECT_EQ(static_cast<std::uint32_t>(scan->header[emu::kScanDiagnostic3]), 0xA0000006u);
}

TEST_F(ImageTest, RefusalsSendNothing) {
    ScannerConnection* c = open();
    ASSERT_NE(c, nullptr);
    auto image = freshImage();
    auto scan = freshScan();
    EXPECT_EQ(lpGetImage(nullptr, image.get()), -2);
    EXPECT_EQ(lpGetImage(c, nullptr), -2);
    EXPECT_EQ(lpGetImageN(c, 0, nullptr), -2);
    EXPECT_EQ(lpGetImageScan(c, image.get(), nullptr), -2);
    EXPECT_EQ(lpGetImageScan(c, nullptr, scan.get()), -2);
    EXPECT_EQ(lpGetImageScanN(c, 1, image.get(), nullptr), -2);
    EXPECT_EQ(lpGetDiagnosticImageScan(c, 1, 2, 3, image.get(), nullptr), -2);
    c->syncFlag = 1;
    EXPECT_EQ(lpGetImage(c, image.get()), 21);
    EXPECT_EQ(lpGetImageN(c, 0, image.get()), 21);
    EXPECT_EQ(lpGetImageScan(c, image.get(), scan.get()), 21);
    EXPECT_EQ(lpGetImageScanN(c, 0, image.get(), scan.get()), 21);
    EXPECT_EQ(lpGetDiagnosticImageScan(c, 1, 2, 3, image.get(), scan.get()), 21);
    EXPECT_EQ(lpGetImageScan(c, image.get(), nullptr), -2);
    c->syncFlag = 0;
    expectReceived({});
    EXPECT_TRUE(allUntouched(image.get(), sizeof(ImageRecord)));
}

TEST_F(ImageTest, ScanAnswerInsteadOfImageConsumesOnlyItsHeader) {
    ScannerConnection* c = open();
    ASSERT_NE(c, nullptr);
    const Bytes payload = emptyScan();
    answerWith(11, answerBytes(2, payload));
    auto image = freshImage();
    EXPECT_EQ(lpGetImage(c, image.get()), -1);
    EXPECT_TRUE(allUntouched(image.get(), sizeof(ImageRecord)));
    EXPECT_EQ(hex(leftInSocket(payload.size())), hex(payload));
}

// A failed image leaves its scan unread; a failed scan leaves the image
// complete but the result is -1.
TEST_F(ImageTest, WrongTypesInTheImageScanPair) {
    ScannerConnection* c = open();
    ASSERT_NE(c, nullptr);
    const Bytes scanAnswer = answerBytes(2, emptyScan());
    Bytes bytes = answerBytes(0, smallImage(4, 2, 0x33));
    bytes.insert(bytes.end(), scanAnswer.begin(), scanAnswer.end());
    answerWith(12, bytes);
    auto image = freshImage();
    auto scan = freshScan();
    EXPECT_EQ(lpGetImageScan(c, image.get(), scan.get()), -1);
    EXPECT_TRUE(allUntouched(scan.get(), sizeof(ScanRecord)));
    // The image payload, then the whole scan answer, are still waiting.
    leftInSocket(smallImage(4, 2, 0x33).size());
    EXPECT_EQ(hex(leftInSocket(scanAnswer.size())), hex(scanAnswer));

    bytes = answerBytes(1, smallImage(4, 2, 0x33));
    const Bytes profile = answerBytes(0, emptyScan());
    bytes.insert(bytes.end(), profile.begin(), profile.end());
    answerWith(45, bytes);
    EXPECT_EQ(lpGetImageScanN(c, 1, image.get(), scan.get()), -1);
    EXPECT_EQ(image->rowLength, 4u);
    EXPECT_EQ(image->header[0], 7);
    EXPECT_EQ(lpGetImagePixel(image.get(), 3, 1), 0x33u);
    EXPECT_TRUE(allUntouched(scan.get(), sizeof(ScanRecord)));
}

TEST_F(ImageTest, ImageWithoutScanGivesMinusOneAfterTheTimeoutWithTheImageFilled) {
    ScannerConnection* c = open();
    ASSERT_NE(c, nullptr);
    answerWith(12, answerBytes(1, smallImage(16, 3, 0xC8)));
    auto image = freshImage();
    auto scan = freshScan();
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(lpGetImageScan(c, image.get(), scan.get()), -1);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_GE(seconds, 4.5);
    EXPECT_LT(seconds, 10.0);
    EXPECT_EQ(image->rowLength, 16u);
    EXPECT_EQ(image->header[emu::kImageRows], 3);
    EXPECT_EQ(lpGetImagePixel(image.get(), 15, 2), 0xC8u);
    EXPECT_EQ(image->pixels[48], kUntouched);
    EXPECT_TRUE(allUntouched(scan.get(), sizeof(ScanRecord)));
}

// An image one byte longer than the record is read to its end and dropped,
// leaving the record untouched and the stream at the next answer.
TEST_F(ImageTest, ImageLongerThanTheRecordIsDropped) {
    ScannerConnection* c = open();
    ASSERT_NE(c, nullptr);
    Bytes payload(sizeof(ImageRecord) + 1, 0x77);
    const Bytes next = answerBytes(1, smallImage(2, 2, 0x10));
    Bytes bytes = answerBytes(1, payload);
    bytes.insert(bytes.end(), next.begin(), next.end());
    answerWith(11, bytes);
    auto image = freshImage();
    EXPECT_EQ(lpGetImage(c, image.get()), -1);
    EXPECT_TRUE(allUntouched(image.get(), sizeof(ImageRecord)));
    EXPECT_EQ(hex(leftInSocket(next.size())), hex(next));

    // An image that fills the record exactly is accepted.
    Bytes full = smallImage(2048, 2048, 0x42);
    ASSERT_EQ(full.size(), sizeof(ImageRecord));
    answerWith(11, answerBytes(1, full));
    ASSERT_EQ(lpGetImage(c, image.get()), 0);
    EXPECT_EQ(lpGetImagePixel(image.get(), 2047, 2047), 0x42u);
}

TEST_F(ImageTest, FaultsGiveMinusOne) {
    ScannerConnection* c = open();
    ASSERT_NE(c, nullptr);
    auto image = freshImage();
    auto scan = freshScan();
    emulator_.setFault(emu::Fault::WrongType);
    EXPECT_EQ(lpGetImage(c, image.get()), -1);
    lpCloseConnection(c);
    connection_ = nullptr;

    c = open();
    ASSERT_NE(c, nullptr);
    emulator_.setFault(emu::Fault::ShortAnswer);
    EXPECT_EQ(lpGetDiagnosticImageScan(c, 1, 2, 3, image.get(), scan.get()), -1);
    EXPECT_TRUE(allUntouched(scan.get(), sizeof(ScanRecord)));
}

TEST(ImagePixel, OffsetRowLengthTimesRowPlusColumn) {
    auto image = freshImage();
    image->rowLength = 640;
    image->pixels[1280 + 10] = 0xE7;
    EXPECT_EQ(reinterpret_cast<std::uint8_t*>(image.get())[1310], 0xE7);
    EXPECT_EQ(lpGetImagePixel(image.get(), 10, 2), 0xE7u);
    EXPECT_EQ(lpGetImagePixel(image.get(), 9, 2), kUntouched);
    EXPECT_EQ(lpGetImagePixel(nullptr, 10, 2), 0u);
}

// Positions outside the row or the record give 0 rather than reading
// memory the record does not own.
TEST(ImagePixel, OutsideTheImageGivesZero) {
    auto image = freshImage();
    image->rowLength = 1024;
    const std::uint32_t rows = KELO_IMAGE_MAX_PIXELS / 1024;
    EXPECT_EQ(lpGetImagePixel(image.get(), 1024, 0), 0u);
    EXPECT_EQ(lpGetImagePixel(image.get(), 0, rows), 0u);
    EXPECT_EQ(lpGetImagePixel(image.get(), 1023, rows - 1), kUntouched);
    // A product that wraps 32 bits must not land back inside the record.
    image->rowLength = 0x10000000u;
    EXPECT_EQ(lpGetImagePixel(image.get(), 5, 16), 0u);
    image->rowLength = 0;
    EXPECT_EQ(lpGetImagePixel(image.get(), 0, 0), 0u);
}

}  // namespace
}  // namespace kelo::test
