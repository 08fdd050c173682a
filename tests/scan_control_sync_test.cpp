// Scans, images, status, overrides and firmware across real sync-mode
// changes: what is refused, what is sent, and that nothing leaks into the
// stream of the synchronised connection.
#include <memory>

#include "core/command_codes.h"
#include "emulator/override_state.h"
#include "support/emulator_fixture.h"
#include "support/g3_checks.h"

namespace kelo::test {
namespace {

class ScanControlSyncTest : public ConnectedTest {};

TEST_F(ScanControlSyncTest, IdleOnlyOperationsAreRefusedInTimeSync) {
    ScannerConnection* c = c_;
    auto scan = std::make_unique<ScanRecord>();
    auto image = std::make_unique<ImageRecord>();
    ASSERT_EQ(lpGetScannerStatusFromScanner(c), 0);

    emulator_.clearReceived();
    ASSERT_EQ(lpEnterTimeSyncMode(c), 0);
    char text[8];
    expectAll(21, {lpGetScan(c, scan.get()), lpGetImageScanN(c, 0, image.get(), scan.get()),
                   lpGetScannerStatusFromScanner(c), lpGetStatusDescriptionFromScanner(c, 0, text, 7),
                   lpOverrideScanWindow(c, 10.0, -10.0, -5.0, 5.0), lpOverrideLaserAutoexposure(c, 1, 1, 1, 0, 1, 0, 0),
                   lpOverrideSyncSettings(c, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0)});
    // Only the command that entered time sync went out.
    expectReceived(bytesOf({0, 0, 0, 0x1D, 0, 0, 0, 0}));
    // Lookups still answer from the fetch made while idle.
    std::int32_t serial = 0;
    EXPECT_EQ(lpGetScannerStatusValue(c, 0, &serial), 0);
    EXPECT_EQ(serial, 1001);

    // Alternating exposure and the firmware update go out while synchronised.
    ASSERT_EQ(lpSetAlternatingExposure(c, 1, 100, 200), 0);
    const std::uint8_t firmware[3] = {9, 8, 7};
    EXPECT_EQ(lpSendScannerFirmwareUpdate(c, firmware, 3, 577), 0);

    ASSERT_EQ(lpExitSyncMode(c), 0);
    EXPECT_EQ(lpSetAlternatingExposure(c, 1, 100, 200), 21);
    ASSERT_EQ(lpGetImageScan(c, image.get(), scan.get()), 0);
    EXPECT_EQ(scan->pointCount, 640);
    EXPECT_EQ(image->rowLength, 640u);
    EXPECT_EQ(emulator_.state<emu::OverrideState>().count(kCmdAlternatingExposure), 1u);
}

}  // namespace
}  // namespace kelo::test
