// SPDX-License-Identifier: Apache-2.0
// Images and image scans: wire bytes, the image matching its scan, the
// pixel accessor, and answers of the wrong type, too long or missing.
#include <cstring>
#include <memory>

#include "core/scanner_connection.h"
#include "emulator/scan_image_state.h"
#include "profile_answers.h"
#include "support/emulator_fixture.h"
#include "support/g3_checks.h"

namespace kelo::test {
namespace {

using emu::answerBytes;
using emu::Bytes;

constexpr std::uint8_t kUntouched = 0x5A;

template <typename Record>
std::unique_ptr<Record> fresh() {
    auto record = std::make_unique<Record>();
    std::memset(static_cast<void*>(record.get()), kUntouched, sizeof(Record));
    return record;
}

template <typename Record>
bool untouched(const std::unique_ptr<Record>& record) {
    return untouchedBytes(record.get(), 0, sizeof(Record), kUntouched);
}

Bytes smallImage(std::uint32_t rowLength, std::uint32_t rows, std::uint8_t fill) {
    Bytes payload = words({7, 8, rows, rowLength, 9});
    payload.insert(payload.end(), std::size_t(rowLength) * rows, fill);
    return payload;
}

const Bytes kEmptyScan = words({77, 0, 0, 0, 0, 0, 0, 0, 0});

class ImageTest : public ConnectedTest {
protected:
    std::unique_ptr<ImageRecord> image_ = fresh<ImageRecord>();
    std::unique_ptr<ScanRecord> scan_ = fresh<ScanRecord>();
};

// The emulator draws the laser line where its scan says it is: each scan
// point's pixel is the line's brightness, and the header words are in
// host order. Pixels past the image are not written.
TEST_F(ImageTest, CommandBytesAndTheImageMatchingItsScan) {
    ASSERT_EQ(lpGetImageScan(c_, image_.get(), scan_.get()), 0);
    ASSERT_EQ(image_->rowLength, 640u);
    EXPECT_EQ(image_->header[emu::kImageRows], 480);
    EXPECT_EQ(image_->header4, 8);
    EXPECT_EQ(image_->header[emu::kImageFrame], scan_->header[emu::kScanFrame]);
    ASSERT_EQ(scan_->pointCount, 640);
    for (int i = 0; i < scan_->pointCount; ++i) {
        const auto column = static_cast<std::uint32_t>(scan_->points[i][0]);
        const auto row = static_cast<std::uint32_t>(scan_->points[i][1]);
        ASSERT_EQ(lpGetImagePixel(image_.get(), column, row), emu::kLinePixel) << "point " << i;
    }
    EXPECT_TRUE(untouchedBytes(image_->pixels, 640 * 480, sizeof(image_->pixels), kUntouched));
    expectAll(0, {lpGetImage(c_, image_.get()), lpGetImageN(c_, 3, image_.get()),
                  lpGetImageScanN(c_, 2, image_.get(), scan_.get()),
                  lpGetDiagnosticImageScan(c_, 4, 5, 0xA0000006u, image_.get(), scan_.get())});
    expectReceived(words({0x0C, 0, 0x0B, 0, 0x2C, 4, 3, 0x2D, 4, 2, 0x56, 12, 4, 5, 0xA0000006u}));
}

// Null records are refused before the sync state is looked at.
TEST_F(ImageTest, RefusalsSendNothing) {
    ImageRecord* image = image_.get();
    ScanRecord* scan = scan_.get();
    expectAll(-2, {lpGetImage(nullptr, image), lpGetImage(c_, nullptr), lpGetImageN(c_, 0, nullptr),
                   lpGetImageScan(c_, image, nullptr), lpGetImageScan(c_, nullptr, scan),
                   lpGetImageScanN(c_, 1, image, nullptr), lpGetDiagnosticImageScan(c_, 1, 2, 3, image, nullptr)});
    c_->syncFlag = 1;
    expectAll(21, {lpGetImage(c_, image), lpGetImageN(c_, 0, image), lpGetImageScan(c_, image, scan),
                   lpGetImageScanN(c_, 0, image, scan), lpGetDiagnosticImageScan(c_, 1, 2, 3, image, scan)});
    EXPECT_EQ(lpGetImageScan(c_, image, nullptr), -2);
    c_->syncFlag = 0;
    expectReceived({});
    EXPECT_TRUE(untouched(image_));
}

// An answer of the wrong type, or an image one byte longer than the record,
// leaves the record untouched and the stream where the answer ends.
TEST_F(ImageTest, WrongTypeOrOverlongImageIsRefused) {
    answerWith(11, answerBytes(2, kEmptyScan));
    EXPECT_EQ(lpGetImage(c_, image_.get()), -1);
    EXPECT_TRUE(untouched(image_));
    EXPECT_EQ(hex(leftInSocket(kEmptyScan.size())), hex(kEmptyScan));

    const Bytes next = answerBytes(1, smallImage(2, 2, 0x10));
    answerWith(11, concat({answerBytes(1, Bytes(sizeof(ImageRecord) + 1, 0x77)), next}));
    EXPECT_EQ(lpGetImage(c_, image_.get()), -1);
    EXPECT_TRUE(untouched(image_));
    EXPECT_EQ(hex(leftInSocket(next.size())), hex(next));

    // An image that fills the record exactly is accepted.
    const Bytes full = smallImage(2048, 2048, 0x42);
    ASSERT_EQ(full.size(), sizeof(ImageRecord));
    answerWith(11, answerBytes(1, full));
    ASSERT_EQ(lpGetImage(c_, image_.get()), 0);
    EXPECT_EQ(lpGetImagePixel(image_.get(), 2047, 2047), 0x42u);
}

// A failed image leaves its scan unread; a failed scan leaves the image
// complete but the result is -1.
TEST_F(ImageTest, WrongTypesInTheImageScanPair) {
    const Bytes scanAnswer = answerBytes(2, kEmptyScan);
    answerWith(12, concat({answerBytes(0, smallImage(4, 2, 0x33)), scanAnswer}));
    EXPECT_EQ(lpGetImageScan(c_, image_.get(), scan_.get()), -1);
    EXPECT_TRUE(untouched(scan_));
    // The image payload, then the whole scan answer, are still waiting.
    leftInSocket(smallImage(4, 2, 0x33).size());
    EXPECT_EQ(hex(leftInSocket(scanAnswer.size())), hex(scanAnswer));

    answerWith(45, concat({answerBytes(1, smallImage(4, 2, 0x33)), answerBytes(0, kEmptyScan)}));
    EXPECT_EQ(lpGetImageScanN(c_, 1, image_.get(), scan_.get()), -1);
    EXPECT_EQ(image_->rowLength, 4u);
    EXPECT_EQ(image_->header[0], 7);
    EXPECT_EQ(lpGetImagePixel(image_.get(), 3, 1), 0x33u);
    EXPECT_TRUE(untouched(scan_));
}

TEST_F(ImageTest, ImageWithoutScanGivesMinusOneAfterTheTimeoutWithTheImageFilled) {
    answerWith(12, answerBytes(1, smallImage(16, 3, 0xC8)));
    expectTakes(4.5, 10.0, [&] { EXPECT_EQ(lpGetImageScan(c_, image_.get(), scan_.get()), -1); });
    EXPECT_EQ(image_->rowLength, 16u);
    EXPECT_EQ(image_->header[emu::kImageRows], 3);
    EXPECT_EQ(lpGetImagePixel(image_.get(), 15, 2), 0xC8u);
    EXPECT_EQ(image_->pixels[48], kUntouched);
    EXPECT_TRUE(untouched(scan_));
}

// The pixel is at rowLength * row + column; positions outside the row or
// the record give 0 rather than reading memory the record does not own,
// also when the product wraps 32 bits back inside the record.
TEST(ImagePixel, OffsetAndBounds) {
    auto image = fresh<ImageRecord>();
    image->pixels[1280 + 10] = 0xE7;
    EXPECT_EQ(reinterpret_cast<std::uint8_t*>(image.get())[1310], 0xE7);
    EXPECT_EQ(lpGetImagePixel(nullptr, 10, 2), 0u);
    const std::uint32_t rows = KELO_IMAGE_MAX_PIXELS / 1024;
    const struct {
        std::uint32_t rowLength, column, row, pixel;
    } cases[] = {{640, 10, 2, 0xE7}, {640, 9, 2, kUntouched}, {1024, 1024, 0, 0}, {1024, 0, rows, 0},
                 {1024, 1023, rows - 1, kUntouched}, {0x10000000u, 5, 16, 0}, {0, 0, 0, 0}};
    for (const auto& c : cases) {
        image->rowLength = c.rowLength;
        EXPECT_EQ(lpGetImagePixel(image.get(), c.column, c.row), c.pixel)
            << c.rowLength << " " << c.column << " " << c.row;
    }
}

}  // namespace
}  // namespace kelo::test
