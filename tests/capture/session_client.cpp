// The client whose traffic the capture test records, dissects and replays.
// "session HOST FILE" runs every TCP command of the protocol once or more
// on one connection (FILE receives the fetched parameter file);
// "discovery SERIAL" finds the scanner and changes its cable id and
// address over UDP broadcasts. Each call prints its result and what it
// returned, so two runs against the same answers print the same text.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

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

// Point count and a checksum of the filled part of each record.
template <typename Record>
void showRecords(const Record* records, std::int32_t count, std::size_t headerWords) {
    for (std::int32_t i = 0; i < count; ++i) {
        const std::size_t points = records[i].pointCount > 0 ? std::size_t(records[i].pointCount) : 0;
        std::printf(" [%d %08" PRIx32 "]", records[i].pointCount,
                    checksum(&records[i], (headerWords + 1 + 3 * points) * 4));
    }
}

int runSession(const char* host, const char* parameterFile) {
    ScannerConnection* h = lpOpenConnection(host);
    if (h == nullptr) {
        std::fprintf(stderr, "cannot connect to %s\n", host);
        return 1;
    }
    show("parameter-file", lpGetParameterFileFromScanner(h, parameterFile));
    std::ifstream file(parameterFile, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::printf(" %zu %08" PRIx32, text.size(), checksum(text.data(), text.size()));
    show("parameters-rejected", lpSendParametersToScanner(h, "ExposureTime = 800\nLaserPower = 250\nBogus = 1\n"));
    for (std::int32_t i = 0; i < lpGetNumberOfErrorMessages(h); ++i) std::printf(" | %s", lpGetErrorMessage(h, i));
    show("parameters-accepted", lpSendParametersToScanner(h, "ExposureTime = 800\n"));

    show("calibration", lpRetrieveCalibrationValues(h));
    double v[14] = {};
    lpGetScanWindow(h, &v[0], &v[1], &v[2], &v[3]);
    std::printf(" lasers %d window %g %g %g %g transform", lpGetLaserCount(h), v[0], v[1], v[2], v[3]);
    lpGetTransformParametersN(h, 0, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7], &v[8], &v[9], &v[10],
                              &v[11], &v[12], &v[13]);
    for (double value : v) std::printf(" %.10g", value);
    std::int32_t t[4] = {};
    show("scan-window", lpReadScanWindowN(h, 0, &t[0], &t[1], &t[2], &t[3]));
    std::printf(" %d %d %d %d", t[0], t[1], t[2], t[3]);
    show("position", lpReadPositionCalibrationN(h, 0, &v[0], &v[1], &v[2]));
    std::printf(" %.10g %.10g %.10g", v[0], v[1], v[2]);
    show("position-upload", lpSendPositionCalibrationN(h, 0, 1.5, -2.25, 1e-7));
    show("intrinsic-upload", lpSendIntrinsicCalibrationN(h, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 250.5, 0.25, -0.125, 2e-6, 3));
    OldPositionCalibration old[4] = {};
    const std::int32_t olds = show("old-positions", lpReadOldPositionCalibrationsN(h, 0, old, 4));
    for (std::int32_t i = 0; i < olds && i < 4; ++i)
        std::printf(" [%.10g %.10g %.10g %s]", old[i].position[0], old[i].position[1], old[i].position[2], old[i].text);

    show("status", lpGetScannerStatusFromScanner(h));
    for (std::uint32_t key = 0; key < 8; ++key) {
        std::int32_t value = 0;
        if (lpGetScannerStatusValue(h, key, &value) == 0) std::printf(" %u=%d", key, value);
    }
    char description[128] = {};
    show("description", lpGetStatusDescriptionFromScanner(h, 2, description, sizeof description - 1));
    std::printf(" %s", description);

    show("sync-settings", lpOverrideSyncSettings(h, 0.0025, 1.5, 2.25, 7, 1, 10.5, 20.25, 30.125, 40.0, 50.5, 2, 0));
    show("autoexposure", lpOverrideLaserAutoexposure(h, 0.01, 650.0, 325.5, 100, 50, 200, 2));
    show("scan-window-override", lpOverrideScanWindow(h, 100.0, -100.0, -50.0, 50.0));
    show("encoder-value", lpSetEncoderValue32(h, 123456));

    auto scan = std::make_unique<ScanRecord>();
    auto image = std::make_unique<ImageRecord>();
    const auto scans = [&](std::int32_t result) { showRecords(scan.get(), result == 0, KELO_SCAN_HEADER_VALUES); };
    const auto images = [&](std::int32_t result, bool withScan) {
        if (result != 0) return;
        const std::size_t pixels = std::size_t(image->rowLength) * std::uint32_t(image->header[2]);
        std::printf(" image [%d %d %d %u %d %08" PRIx32 "]", image->header[0], image->header[1], image->header[2],
                    image->rowLength, image->header4,
                    checksum(image->pixels, pixels <= KELO_IMAGE_MAX_PIXELS ? pixels : 0));
        if (withScan) scans(result);
    };
    scans(show("scan", lpGetScan(h, scan.get())));
    scans(show("scan-laser", lpGetScanN(h, 0, scan.get())));
    scans(show("diagnostic-scan", lpGetDiagnosticScan(h, 1, 2, 3, scan.get())));
    images(show("image", lpGetImage(h, image.get())), false);
    images(show("image-laser", lpGetImageN(h, 0, image.get())), false);
    images(show("image-scan", lpGetImageScan(h, image.get(), scan.get())), true);
    images(show("image-scan-laser", lpGetImageScanN(h, 0, image.get(), scan.get())), true);
    images(show("diagnostic-image-scan", lpGetDiagnosticImageScan(h, 4, 5, 6, image.get(), scan.get())), true);

    std::vector<ProfileRecord> p(8);
    const auto profiles = [&](std::int32_t count) { showRecords(p.data(), count, KELO_PROFILE_HEADER_VALUES); };
    profiles(show("profile", lpGetProfile(h, &p[0])) == 0);
    profiles(show("profile-laser", lpGetProfileN(h, 0, &p[0])) == 0);
    profiles(show("profiles-all-lasers", lpGetProfileFromAllLasers(h, p.data(), 4)));
    show("time-sync", lpEnterTimeSyncMode(h));
    show("alternating", lpSetAlternatingExposure(h, 1, 100, 200));
    for (int batch = 0; batch < 3; ++batch) {
        const char* name = lpSendMultipleProfileRequest(h, 5) == 0 ? "batch" : "batch-request-failed";
        profiles(show(name, lpReadMultipleProfiles(h, p.data(), 5)));
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

    std::vector<std::uint8_t> firmware(1000);
    for (std::size_t i = 0; i < firmware.size(); ++i) firmware[i] = static_cast<std::uint8_t>(i * 7);
    show("firmware", lpSendScannerFirmwareUpdate(h, firmware.data(), 1000, 577));
    show("firmware", lpSendScannerFirmwareUpdate(h, firmware.data(), 999, 576));
    show("close", lpCloseConnection(h));
    std::printf("\n");
    return 0;
}

int runDiscovery(std::uint32_t serial) {
    ScannerInfo found[8];
    const auto identities = [&](std::int32_t count) {
        for (std::int32_t i = 0; i < count && i < 8; ++i) std::printf(" %u", found[i].identity);
    };
    identities(show("find-by-serial", lpFindScannerBySerialNumber(serial, found, 8)));
    show("set-cable-id", lpSetCableId(serial, 7));
    show("set-base-ip", lpSetBaseIpChar(serial, "10.78.0.50", "255.255.255.0"));
    identities(show("find-by-cable-id", lpFindScannerByCableId(7, found, 8)));
    show("clear-cable-id", lpClearCableId(serial));
    std::printf("\n");
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
