// Firmware upload: framing with and without the trailer, the confirmation
// test, and refusals.
#include <chrono>
#include <thread>

#include "core/scanner_connection.h"
#include "emulator/firmware_state.h"
#include "support/emulator_fixture.h"

namespace kelo::test {
namespace {

using emu::Bytes;
using emu::Command;
using emu::Session;

class FirmwareTest : public EmulatorTest {
protected:
    void SetUp() override {
        EmulatorTest::SetUp();
        c_ = open();
        ASSERT_NE(c_, nullptr);
    }
    emu::FirmwareState& state() { return emulator_.state<emu::FirmwareState>(); }
    void answerWith(Bytes bytes) {
        emulator_.overrideCommand(8, [bytes](Session& s, const Command&) { s.sendRaw(bytes); });
    }
    ScannerConnection* c_ = nullptr;
};

const Bytes kImage = bytesOf({0x01, 0x02, 0x03, 0x04, 0x05});

TEST_F(FirmwareTest, Version576HasNoTrailer) {
    ASSERT_EQ(lpSendScannerFirmwareUpdate(c_, kImage.data(), 5, 576), 0);
    expectReceived(bytesOf({0, 0, 0, 8, 0, 0, 0, 5, 1, 2, 3, 4, 5}));
    std::lock_guard<std::mutex> lock(state().mutex);
    EXPECT_EQ(state().accepted, 1u);
    EXPECT_EQ(hex(state().lastImage), hex(kImage));
    EXPECT_FALSE(state().lastHadTrailer);
}

TEST_F(FirmwareTest, Version577AddsTheTrailer) {
    ASSERT_EQ(lpSendScannerFirmwareUpdate(c_, kImage.data(), 5, 577), 0);
    expectReceived(bytesOf({0, 0, 0, 8, 0, 0, 0, 9, 1, 2, 3, 4, 5, 0xDE, 0xAD, 0xBE, 0xEF}));
    {
        std::lock_guard<std::mutex> lock(state().mutex);
        EXPECT_TRUE(state().lastHadTrailer);
        EXPECT_EQ(hex(state().lastImage), hex(kImage));
    }
    emulator_.clearReceived();
    ASSERT_EQ(lpSendScannerFirmwareUpdate(c_, kImage.data(), 2, 0xFFFFFFFFu), 0);
    expectReceived(bytesOf({0, 0, 0, 8, 0, 0, 0, 6, 1, 2, 0xDE, 0xAD, 0xBE, 0xEF}));
}

// An image of some size is sent whole, and the connection stays in step.
TEST_F(FirmwareTest, LargeImageThenTheConnectionStillWorks) {
    Bytes image(300000);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7);
    ASSERT_EQ(lpSendScannerFirmwareUpdate(c_, image.data(), static_cast<std::uint32_t>(image.size()),
                                          700),
              0);
    {
        std::lock_guard<std::mutex> lock(state().mutex);
        EXPECT_TRUE(state().lastImage == image);
        EXPECT_TRUE(state().lastHadTrailer);
    }
    ASSERT_EQ(lpSendScannerFirmwareUpdate(c_, kImage.data(), 5, 1), 0);
}

TEST_F(FirmwareTest, SentInEitherSyncState) {
    c_->syncFlag = 1;
    ASSERT_EQ(lpSendScannerFirmwareUpdate(c_, kImage.data(), 1, 576), 0);
    expectReceived(bytesOf({0, 0, 0, 8, 0, 0, 0, 1, 1}));
    c_->syncFlag = 0;
}

TEST_F(FirmwareTest, NullImageOrHandleSendsNothing) {
    EXPECT_EQ(lpSendScannerFirmwareUpdate(c_, nullptr, 0, 577), -2);
    EXPECT_EQ(lpSendScannerFirmwareUpdate(c_, nullptr, 100, 1), -2);
    EXPECT_EQ(lpSendScannerFirmwareUpdate(nullptr, kImage.data(), 5, 577), -2);
    // A size whose trailer would wrap the length word.
    EXPECT_EQ(lpSendScannerFirmwareUpdate(c_, kImage.data(), 0xFFFFFFFDu, 577), -2);
    expectReceived({});
}

TEST_F(FirmwareTest, OnlyTheBytes14000000Confirm) {
    // The word 20 in protocol (big-endian) order is not a confirmation.
    answerWith(bytesOf({0, 0, 0, 0x14, 0, 0, 0, 0}));
    EXPECT_EQ(lpSendScannerFirmwareUpdate(c_, kImage.data(), 5, 577), 21);

    // Only the first word counts; the second may be anything, and a
    // payload behind it is not read.
    answerWith(bytesOf({0x14, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(lpSendScannerFirmwareUpdate(c_, kImage.data(), 5, 577), 0);
    answerWith(bytesOf({0x14, 0, 0, 1, 0, 0, 0, 0}));
    EXPECT_EQ(lpSendScannerFirmwareUpdate(c_, kImage.data(), 5, 577), 21);
}

TEST_F(FirmwareTest, EmulatorRefusesAnEmptyImageOrAMissingTrailer) {
    const std::uint8_t none = 0;
    EXPECT_EQ(lpSendScannerFirmwareUpdate(c_, &none, 0, 576), 21);
    emulator_.clearReceived();
    EXPECT_EQ(lpSendScannerFirmwareUpdate(c_, &none, 0, 577), 21);
    expectReceived(bytesOf({0, 0, 0, 8, 0, 0, 0, 4, 0xDE, 0xAD, 0xBE, 0xEF}));
    {
        std::lock_guard<std::mutex> lock(state().mutex);
        state().requireTrailer = true;
    }
    EXPECT_EQ(lpSendScannerFirmwareUpdate(c_, kImage.data(), 5, 576), 21);
    EXPECT_EQ(lpSendScannerFirmwareUpdate(c_, kImage.data(), 5, 577), 0);
}

TEST_F(FirmwareTest, ShortAnswerGivesMinusOne) {
    // Three bytes of the answer, then the peer is gone.
    emulator_.overrideCommand(8, [](Session& s, const Command&) {
        s.sendRaw(bytesOf({0x14, 0, 0}));
        s.close();
    });
    EXPECT_EQ(lpSendScannerFirmwareUpdate(c_, kImage.data(), 5, 577), -1);
}

TEST_F(FirmwareTest, SilentScannerGivesMinusOneAfterTheTimeout) {
    emulator_.setFault(emu::Fault::Silent);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(lpSendScannerFirmwareUpdate(c_, kImage.data(), 5, 577), -1);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_GE(seconds, 4.5);
    EXPECT_LT(seconds, 10.0);
}

}  // namespace
}  // namespace kelo::test
