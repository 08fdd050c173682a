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

template <typename Record>
std::uint32_t recordChecksum(const Record& record, std::size_t headerWords) {
    const std::int32_t points = record.pointCount > 0 ? record.pointCount : 0;
    return checksum(&record, (headerWords + 1 + 3 * std::size_t(points)) * 4);
}

void printProfiles(const char* name, std::int32_t result, const ProfileRecord* records) {
    std::printf("%s %d", name, result);
    for (std::int32_t i = 0; i < result; ++i)
        std::printf(" [%d %08" PRIx32 "]", records[i].pointCount,
                    recordChecksum(records[i], KELO_PROFILE_HEADER_VALUES));
    std::printf("\n");
}

void printProfile(const char* name, std::int32_t result, const ProfileRecord& record) {
    std::printf("%s %d", name, result);
    if (result == 0)
        std::printf(" [%d %08" PRIx32 "]", record.pointCount,
                    recordChecksum(record, KELO_PROFILE_HEADER_VALUES));
    std::printf("\n");
}

void printScan(const char* name, std::int32_t result, const ScanRecord& scan) {
    std::printf("%s %d", name, result);
    if (result == 0)
        std::printf(" scan [%d %08" PRIx32 "]", scan.pointCount,
                    recordChecksum(scan, KELO_SCAN_HEADER_VALUES));
    std::printf("\n");
}

void printImage(const char* name, std::int32_t result, const ImageRecord& image,
                const ScanRecord* scan) {
    std::printf("%s %d", name, result);
    if (result == 0) {
        const std::size_t pixels = std::size_t(image.rowLength) * std::uint32_t(image.header[2]);
        std::printf(" image [%d %d %d %u %d %08" PRIx32 "]", image.header[0], image.header[1],
                    image.header[2], image.rowLength, image.header4,
                    checksum(image.pixels, pixels <= KELO_IMAGE_MAX_PIXELS ? pixels : 0));
        if (scan != nullptr)
            std::printf(" scan [%d %08" PRIx32 "]", scan->pointCount,
                        recordChecksum(*scan, KELO_SCAN_HEADER_VALUES));
    }
    std::printf("\n");
}

int runSession(const char* host, const char* parameterFile) {
    ScannerConnection* h = lpOpenConnection(host);
    if (h == nullptr) {
        std::fprintf(stderr, "cannot connect to %s\n", host);
        return 1;
    }
    int32_t rc = lpGetParameterFileFromScanner(h, parameterFile);
    std::ifstream file(parameterFile, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    std::printf("parameter-file %d %zu %08" PRIx32 "\n", rc, text.size(),
                checksum(text.data(), text.size()));

    rc = lpSendParametersToScanner(h, "ExposureTime = 800\nLaserPower = 250\nBogus = 1\n");
    std::printf("parameters-rejected %d", rc);
    for (int32_t i = 0; i < lpGetNumberOfErrorMessages(h); ++i)
        std::printf(" | %s", lpGetErrorMessage(h, i));
    rc = lpSendParametersToScanner(h, "ExposureTime = 800\n");
    std::printf("\nparameters-accepted %d\n", rc);

    rc = lpRetrieveCalibrationValues(h);
    double window[4] = {};
    double transform[14] = {};
    lpGetScanWindow(h, &window[0], &window[1], &window[2], &window[3]);
    lpGetTransformParametersN(h, 0, &transform[0], &transform[1], &transform[2], &transform[3],
                              &transform[4], &transform[5], &transform[6], &transform[7],
                              &transform[8], &transform[9], &transform[10], &transform[11],
                              &transform[12], &transform[13]);
    std::printf("calibration %d lasers %d window %g %g %g %g transform", rc, lpGetLaserCount(h),
                window[0], window[1], window[2], window[3]);
    for (double value : transform) std::printf(" %.10g", value);
    int32_t thousandths[4] = {};
    rc =
        lpReadScanWindowN(h, 0, &thousandths[0], &thousandths[1], &thousandths[2], &thousandths[3]);
    std::printf("\nscan-window %d %d %d %d %d\n", rc, thousandths[0], thousandths[1],
                thousandths[2], thousandths[3]);
    double position[3] = {};
    rc = lpReadPositionCalibrationN(h, 0, &position[0], &position[1], &position[2]);
    std::printf("position %d %.10g %.10g %.10g\n", rc, position[0], position[1], position[2]);
    std::printf("position-upload %d\n", lpSendPositionCalibrationN(h, 0, 1.5, -2.25, 1e-7));
    std::printf(
        "intrinsic-upload %d\n",
        lpSendIntrinsicCalibrationN(h, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 250.5, 0.25, -0.125, 2e-6, 3));
    OldPositionCalibration old[4] = {};
    rc = lpReadOldPositionCalibrationsN(h, 0, old, 4);
    std::printf("old-positions %d", rc);
    for (int32_t i = 0; i < rc && i < 4; ++i)
        std::printf(" [%.10g %.10g %.10g %s]", old[i].position[0], old[i].position[1],
                    old[i].position[2], old[i].text);

    rc = lpGetScannerStatusFromScanner(h);
    std::printf("\nstatus %d", rc);
    for (uint32_t key = 0; key < 8; ++key) {
        int32_t value = 0;
        if (lpGetScannerStatusValue(h, key, &value) == 0) std::printf(" %u=%d", key, value);
    }
    char description[128] = {};
    rc = lpGetStatusDescriptionFromScanner(h, 2, description, sizeof description - 1);
    std::printf("\ndescription %d %s\n", rc, description);

    // Calls in sequence: the order of a function's arguments is not.
    int32_t r[4];
    r[0] =
        lpOverrideSyncSettings(h, 0.0025, 1.5, 2.25, 7, 1, 10.5, 20.25, 30.125, 40.0, 50.5, 2, 0);
    r[1] = lpOverrideLaserAutoexposure(h, 0.01, 650.0, 325.5, 100, 50, 200, 2);
    r[2] = lpOverrideScanWindow(h, 100.0, -100.0, -50.0, 50.0);
    r[3] = lpSetEncoderValue32(h, 123456);
    std::printf("overrides %d %d %d %d\n", r[0], r[1], r[2], r[3]);

    auto scan = std::make_unique<ScanRecord>();
    auto image = std::make_unique<ImageRecord>();
    printScan("scan", lpGetScan(h, scan.get()), *scan);
    printScan("scan-laser", lpGetScanN(h, 0, scan.get()), *scan);
    printScan("diagnostic-scan", lpGetDiagnosticScan(h, 1, 2, 3, scan.get()), *scan);
    printImage("image", lpGetImage(h, image.get()), *image, nullptr);
    printImage("image-laser", lpGetImageN(h, 0, image.get()), *image, nullptr);
    printImage("image-scan", lpGetImageScan(h, image.get(), scan.get()), *image, scan.get());
    printImage("image-scan-laser", lpGetImageScanN(h, 0, image.get(), scan.get()), *image,
               scan.get());
    printImage("diagnostic-image-scan",
               lpGetDiagnosticImageScan(h, 4, 5, 6, image.get(), scan.get()), *image, scan.get());

    std::vector<ProfileRecord> records(8);
    printProfile("profile", lpGetProfile(h, &records[0]), records[0]);
    printProfile("profile-laser", lpGetProfileN(h, 0, &records[0]), records[0]);
    printProfiles("profiles-all-lasers", lpGetProfileFromAllLasers(h, records.data(), 4),
                  records.data());

    r[0] = lpEnterTimeSyncMode(h);
    r[1] = lpSetAlternatingExposure(h, 1, 100, 200);
    std::printf("time-sync %d %d\n", r[0], r[1]);
    for (int batch = 0; batch < 3; ++batch) {
        rc = lpSendMultipleProfileRequest(h, 5);
        printProfiles(rc == 0 ? "batch" : "batch-request-failed",
                      lpReadMultipleProfiles(h, records.data(), 5), records.data());
    }
    // The last request stays outstanding until leaving sync drains it.
    r[0] = lpHaltSyncMode(h);
    r[1] = lpSendMultipleProfileRequest(h, 5);
    r[2] = lpExitSyncMode(h);
    std::printf("halt %d outstanding %d exit %d\n", r[0], r[1], r[2]);
    r[0] = lpEnterPulseSyncMode(h);
    r[1] = lpStartPulseMaster(h, 2000, 7);
    r[2] = lpStopPulses(h);
    r[3] = lpExitSyncMode(h);
    std::printf("pulse-sync %d %d %d %d\n", r[0], r[1], r[2], r[3]);
    r[0] = lpEnterEncoderSyncMode(h);
    r[1] = lpExitSyncMode(h);
    std::printf("encoder-sync %d %d\n", r[0], r[1]);

    std::vector<std::uint8_t> firmware(1000);
    for (std::size_t i = 0; i < firmware.size(); ++i)
        firmware[i] = static_cast<std::uint8_t>(i * 7);
    r[0] = lpSendScannerFirmwareUpdate(h, firmware.data(), 1000, 577);
    r[1] = lpSendScannerFirmwareUpdate(h, firmware.data(), 999, 576);
    std::printf("firmware %d %d\n", r[0], r[1]);
    std::printf("close %d\n", lpCloseConnection(h));
    return 0;
}

int runDiscovery(std::uint32_t serial) {
    ScannerInfo records[8];
    std::int32_t found = lpFindScannerBySerialNumber(serial, records, 8);
    std::printf("find-by-serial %d", found);
    for (std::int32_t i = 0; i < found; ++i) std::printf(" %u", records[i].identity);
    std::printf("\nset-cable-id %d\n", lpSetCableId(serial, 7));
    std::printf("set-base-ip %d\n", lpSetBaseIpChar(serial, "10.78.0.50", "255.255.255.0"));
    found = lpFindScannerByCableId(7, records, 8);
    std::printf("find-by-cable-id %d", found);
    for (std::int32_t i = 0; i < found; ++i) std::printf(" %u", records[i].identity);
    std::printf("\nclear-cable-id %d\n", lpClearCableId(serial));
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
