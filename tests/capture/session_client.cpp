// SPDX-License-Identifier: Apache-2.0
// The client whose traffic the capture test records, dissects and replays.
// "session HOST FILE" runs every TCP command of the protocol once or more
// on one connection (FILE receives the fetched parameter file);
// "discovery SERIAL" finds the scanner and changes its cable id and
// address over UDP broadcasts. Each session call prints its result and what
// it returned, so two runs against the same answers print the same text.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <array>
#include <memory>

#include "kelo_dll.h"

namespace {

std::uint32_t checksum(const void* data, std::size_t length) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::uint32_t hash = 2166136261u;
    for (std::size_t i = 0; i < length; ++i) hash = (hash ^ bytes[i]) * 16777619u;
    return hash;
}

// Starts the line of a call: its name and result. Calls are made one per
// statement, as the order in which a function's arguments are evaluated is not fixed.
std::int32_t show(const char* name, std::int32_t result) {
    static bool first = true;
    std::printf("%s%s %d", first ? "" : "\n", name, result);
    first = false;
    return result;
}

// Ends a call's line with a checksum of each whole record it filled (records start zeroed).
template <typename... Records>
void sums(std::int32_t, const Records&... records) {
    (std::printf(" %08" PRIx32, checksum(&records, sizeof records)), ...);
}

int runSession(const char* host, const char* parameterFile) {
    ScannerConnection* h = lpOpenConnection(host);
    if (h == nullptr) {
        std::fprintf(stderr, "cannot connect to %s\n", host);
        return 1;
    }
    show("parameter-file", lpGetParameterFileFromScanner(h, parameterFile));
    show("parameters-rejected", lpSendParametersToScanner(h, "ExposureTime = 800\nLaserPower = 250\nBogus = 1\n"));
    for (std::int32_t i = 0; i < lpGetNumberOfErrorMessages(h); ++i) std::printf(" | %s", lpGetErrorMessage(h, i));
    show("parameters-accepted", lpSendParametersToScanner(h, "ExposureTime = 800\n"));

    show("calibration", lpRetrieveCalibrationValues(h));
    double v[3] = {};
    std::int32_t t[4] = {};
    show("scan-window", lpReadScanWindowN(h, 0, &t[0], &t[1], &t[2], &t[3]));
    std::printf(" %d %d %d %d", t[0], t[1], t[2], t[3]);
    sums(show("position", lpReadPositionCalibrationN(h, 0, &v[0], &v[1], &v[2])), v);
    show("position-upload", lpSendPositionCalibrationN(h, 0, 1.5, -2.25, 1e-7));
    show("intrinsic-upload", lpSendIntrinsicCalibrationN(h, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 250.5, 0.25, -0.125, 2e-6, 3));
    OldPositionCalibration old[4] = {};
    sums(show("old-positions", lpReadOldPositionCalibrationsN(h, 0, old, 4)), old);

    show("status", lpGetScannerStatusFromScanner(h));
    for (std::uint32_t key = 0; key < 8; ++key)
        if (std::int32_t value = 0; lpGetScannerStatusValue(h, key, &value) == 0) std::printf(" %u=%d", key, value);
    char description[128] = {};
    show("description", lpGetStatusDescriptionFromScanner(h, 2, description, sizeof description - 1));
    std::printf(" %s", description);

    show("sync-settings", lpOverrideSyncSettings(h, 0.0025, 1.5, 2.25, 7, 1, 10.5, 20.25, 30.125, 40.0, 50.5, 2, 0));
    show("autoexposure", lpOverrideLaserAutoexposure(h, 0.01, 650.0, 325.5, 100, 50, 200, 2));
    show("scan-window-override", lpOverrideScanWindow(h, 100.0, -100.0, -50.0, 50.0));
    show("encoder-value", lpSetEncoderValue32(h, 123456));

    auto scan = std::make_unique<ScanRecord>();
    auto image = std::make_unique<ImageRecord>();
    sums(show("scan", lpGetScan(h, scan.get())), *scan);
    sums(show("scan-laser", lpGetScanN(h, 0, scan.get())), *scan);
    sums(show("diagnostic-scan", lpGetDiagnosticScan(h, 1, 2, 3, scan.get())), *scan);
    sums(show("image", lpGetImage(h, image.get())), *image);
    sums(show("image-laser", lpGetImageN(h, 0, image.get())), *image);
    sums(show("image-scan", lpGetImageScan(h, image.get(), scan.get())), *image, *scan);
    sums(show("image-scan-laser", lpGetImageScanN(h, 0, image.get(), scan.get())), *image, *scan);
    sums(show("diagnostic-image-scan", lpGetDiagnosticImageScan(h, 4, 5, 6, image.get(), scan.get())), *image, *scan);

    auto p = std::make_unique<std::array<ProfileRecord, 8>>();
    sums(show("profile", lpGetProfile(h, p->data())), *p);
    sums(show("profile-laser", lpGetProfileN(h, 0, p->data())), *p);
    sums(show("profiles-all-lasers", lpGetProfileFromAllLasers(h, p->data(), 4)), *p);
    show("time-sync", lpEnterTimeSyncMode(h));
    show("alternating", lpSetAlternatingExposure(h, 1, 100, 200));
    for (int batch = 0; batch < 3; ++batch) {
        const char* name = lpSendMultipleProfileRequest(h, 5) == 0 ? "batch" : "batch-request-failed";
        sums(show(name, lpReadMultipleProfiles(h, p->data(), 5)), *p);
    }
    // The last request stays outstanding until leaving sync drains it.
    show("halt", lpHaltSyncMode(h));
    show("outstanding", lpSendMultipleProfileRequest(h, 5));
    show("exit", lpExitSyncMode(h));
    show("pulse-sync", lpEnterPulseSyncMode(h));
    show("pulses", lpStartPulseMaster(h, 2000, 7));
    show("stop-pulses", lpStopPulses(h));
    show("exit", lpExitSyncMode(h));
    show("encoder-sync", lpEnterEncoderSyncMode(h));
    show("exit", lpExitSyncMode(h));

    std::array<std::uint8_t, 1000> firmware;
    for (std::size_t i = 0; i < firmware.size(); ++i) firmware[i] = static_cast<std::uint8_t>(i * 7);
    show("firmware", lpSendScannerFirmwareUpdate(h, firmware.data(), 1000, 577));
    show("firmware", lpSendScannerFirmwareUpdate(h, firmware.data(), 999, 576));
    show("close", lpCloseConnection(h));
    std::printf("\n");
    return 0;
}

// The datagrams are checked in the capture, so results are not printed.
int runDiscovery(std::uint32_t serial) {
    ScannerInfo found[8];
    lpFindScannerBySerialNumber(serial, found, 8);
    lpSetCableId(serial, 7);
    lpSetBaseIpChar(serial, "10.78.0.50", "255.255.255.0");
    lpFindScannerByCableId(7, found, 8);
    lpClearCableId(serial);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && !std::strcmp(argv[1], "session")) return runSession(argv[2], argv[3]);
    if (argc == 3 && !std::strcmp(argv[1], "discovery"))
        return runDiscovery(static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 0)));
    std::fprintf(stderr, "usage: kelo_capture_client session HOST FILE | discovery SERIAL\n");
    return 2;
}
