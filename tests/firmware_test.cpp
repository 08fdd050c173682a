// SPDX-License-Identifier: Apache-2.0
// Firmware upload: framing with and without the trailer, the confirmation
// test, and refusals.
#include <chrono>

#include "core/scanner_connection.h"
#include "emulator/firmware_state.h"
#include "support/emulator_fixture.h"
#include "support/g3_checks.h"

namespace kelo::test {
namespace {

using emu::Bytes;

const Bytes kImage = bytesOf({0x01, 0x02, 0x03, 0x04, 0x05});

using FirmwareTest = ConnectedTest;

// The trailer follows the image from version 577 on; a refusal is 21.
TEST_F(FirmwareTest, FramingAndVerdict) {
    const struct {
        std::uint32_t size, version;
        std::int32_t result;
        Bytes sent;
    } cases[] = {
        {5, 576, 0, bytesOf({0, 0, 0, 8, 0, 0, 0, 5, 1, 2, 3, 4, 5})},
        {5, 577, 0, bytesOf({0, 0, 0, 8, 0, 0, 0, 9, 1, 2, 3, 4, 5, 0xDE, 0xAD, 0xBE, 0xEF})},
        {2, 0xFFFFFFFFu, 0, bytesOf({0, 0, 0, 8, 0, 0, 0, 6, 1, 2, 0xDE, 0xAD, 0xBE, 0xEF})},
        {0, 576, 21, bytesOf({0, 0, 0, 8, 0, 0, 0, 0})},
        {0, 577, 21, bytesOf({0, 0, 0, 8, 0, 0, 0, 4, 0xDE, 0xAD, 0xBE, 0xEF})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(hex(c.sent));
        emulator_.clearReceived();
        EXPECT_EQ(lpSendScannerFirmwareUpdate(c_, kImage.data(), c.size, c.version), c.result);
        expectReceived(c.sent);
    }
    // An update goes out while synchronised too.
    c_->syncFlag = 1;
    emulator_.clearReceived();
    EXPECT_EQ(lpSendScannerFirmwareUpdate(c_, kImage.data(), 5, 576), 0);
    expectReceived(cases[0].sent);
}

// An image of some size is sent whole, and the connection stays in step.
TEST_F(FirmwareTest, LargeImageThenTheConnectionStillWorks) {
    Bytes image(300000);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7);
    ASSERT_EQ(lpSendScannerFirmwareUpdate(c_, image.data(), std::uint32_t(image.size()), 700), 0);
    {
        auto& state = emulator_.state<emu::FirmwareState>();
        std::lock_guard<std::mutex> lock(state.mutex);
        EXPECT_TRUE(state.lastImage == image);
    }
    ASSERT_EQ(lpSendScannerFirmwareUpdate(c_, kImage.data(), 5, 1), 0);
}

TEST_F(FirmwareTest, NullImageOrHandleSendsNothing) {
    // The last: a size whose trailer would wrap the length word.
    expectAll(-2, {lpSendScannerFirmwareUpdate(c_, nullptr, 0, 577), lpSendScannerFirmwareUpdate(c_, nullptr, 100, 1),
                   lpSendScannerFirmwareUpdate(nullptr, kImage.data(), 5, 577),
                   lpSendScannerFirmwareUpdate(c_, kImage.data(), 0xFFFFFFFDu, 577)});
    expectReceived({});
}

// Only the bytes 14 00 00 00 confirm (not the word 20 in protocol order);
// the second word may be anything and a payload behind it is not read. A
// cut answer fails at once, silence after the time-out.
TEST_F(FirmwareTest, OnlyTheBytes14000000Confirm) {
    const struct {
        Bytes answer;
        std::int32_t result;
    } cases[] = {
        {bytesOf({0, 0, 0, 0x14, 0, 0, 0, 0}), 21},
        {bytesOf({0x14, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}), 0},
        {bytesOf({0x14, 0, 0, 1, 0, 0, 0, 0}), 21},
        {bytesOf({}), -1},
        {bytesOf({0x14, 0, 0}), -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(hex(c.answer));
        emulator_.overrideCommand(8, [c](emu::Session& s, const emu::Command&) {
            s.sendRaw(c.answer);
            if (c.answer.size() == 3) s.close();
        });
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(lpSendScannerFirmwareUpdate(c_, kImage.data(), 5, 577), c.result);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        EXPECT_EQ(seconds >= 4.5, c.answer.empty()) << seconds;
        EXPECT_LT(seconds, 10.0);
    }
}

}  // namespace
}  // namespace kelo::test
