// SPDX-License-Identifier: Apache-2.0
// kelo calib HOST: every laser's calibration as the scanner reports it.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "command_line.h"
#include "commands.h"
#include "session.h"

namespace kelo::cli {
namespace {

const char* const kName = "calib";

void printHelp() {
    std::puts(
        "usage: kelo calib HOST|--serial N|--cable N [--old N]\n"
        "\n"
        "Retrieves the calibration of every laser and prints, per laser, the\n"
        "position calibration, the fourteen transform parameters and the scan\n"
        "window (in thousandths, as the scanner sends it), then laser 0's scan\n"
        "window from the retrieved store.\n"
        "\n"
        "options:\n"
        "  --old N  also list up to N earlier position calibrations of each laser\n"
        "  --help   this text");
    printTargetHelp();
}

bool printLaser(const Scanner& scanner, std::int32_t laser, std::uint32_t oldEntries) {
    ScannerConnection* h = scanner.handle();
    const auto index = static_cast<std::uint32_t>(laser);
    std::printf("laser %d\n", laser);
    bool ok = true;
    auto failed = [&](const std::string& what, int32_t result, Refusal meaning) {
        reportFailure(kName, what + " of laser " + std::to_string(laser), h, result,
                      {"a calibration answer", KELO_DEFAULT_TIMEOUT_MS, meaning});
        ok = false;
    };

    double position[3] = {};
    int32_t result = lpReadPositionCalibrationN(h, index, &position[0], &position[1], &position[2]);
    if (result == KELO_OK) {
        std::printf("  position:  %.10g %.10g %.10g\n", position[0], position[1], position[2]);
    } else {
        failed("position calibration", result, Refusal::SyncState);
    }

    double t[14] = {};
    result = lpGetTransformParametersN(h, laser, &t[0], &t[1], &t[2], &t[3], &t[4], &t[5], &t[6],
                                       &t[7], &t[8], &t[9], &t[10], &t[11], &t[12], &t[13]);
    if (result == KELO_OK) {
        std::printf("  transform:");
        for (double value : t) std::printf(" %.10g", value);
        std::printf("\n");
    } else if (result == KELO_ERROR_STATE) {
        std::printf("  transform: not retrieved\n");
    } else {
        failed("transform parameters", result, Refusal::NotHeld);
    }

    int32_t window[4] = {};
    result = lpReadScanWindowN(h, index, &window[0], &window[1], &window[2], &window[3]);
    if (result == KELO_OK) {
        std::printf("  window:    %d %d %d %d\n", window[0], window[1], window[2], window[3]);
    } else {
        failed("scan window", result, Refusal::SyncState);
    }

    if (oldEntries > 0) {
        std::vector<OldPositionCalibration> entries(oldEntries);
        result = lpReadOldPositionCalibrationsN(h, index, entries.data(), oldEntries);
        if (result < 0 && result != KELO_ERROR_IO && result != KELO_ERROR_ARGUMENT) {
            std::printf("  earlier:   the scanner reported %d entries\n", result);
        } else if (result == KELO_ERROR_IO || result == KELO_ERROR_ARGUMENT) {
            failed("earlier calibrations", result, Refusal::SyncState);
        } else {
            const auto shown = std::min<std::uint32_t>(static_cast<std::uint32_t>(result), oldEntries);
            std::printf("  earlier:   %u entr%s\n", shown, shown == 1 ? "y" : "ies");
            for (std::uint32_t i = 0; i < shown; ++i) {
                const auto& e = entries[i];
                std::printf("    %.10g %.10g %.10g  %s\n", e.position[0], e.position[1],
                            e.position[2], e.text);
            }
        }
    }
    return ok;
}

}  // namespace

int runCalib(int argc, char** argv) {
    CommandLine args;
    if (!args.parse(argc, argv, withTargetOptions({"old"}), {})) return usageError(kName, args.error());
    if (args.helpWanted()) {
        printHelp();
        return kExitOk;
    }
    std::vector<std::string> words = args.positional();
    Targets targets;
    std::string error;
    if (!parseTargets(args, &words, 0, false, &targets, &error)) return usageError(kName, error);
    if (!words.empty()) return usageError(kName, "unexpected '" + words[0] + "'");
    std::int64_t old = 0;
    if (!args.number("old", 0, 0, 1024, &old)) return usageError(kName, args.error());

    Scanner scanner(kName, targets.scanners[0], targets.connectTimeoutMs);
    if (!scanner.open()) return kExitFailed;
    int32_t result = lpRetrieveCalibrationValues(scanner.handle());
    if (result != KELO_OK) {
        return reportFailure(kName, "calibration retrieval", scanner.handle(), result, {"a calibration answer"});
    }
    const int32_t lasers = lpGetLaserCount(scanner.handle());
    std::printf("%s reports %d laser(s)\n", scanner.name().c_str(), lasers);

    bool ok = true;
    const std::int32_t shown = std::max<std::int32_t>(1, lasers);
    for (std::int32_t laser = 0; laser < shown; ++laser) {
        ok = printLaser(scanner, laser, static_cast<std::uint32_t>(old)) && ok;
    }

    double w[4] = {};
    result = lpGetScanWindow(scanner.handle(), &w[0], &w[1], &w[2], &w[3]);
    if (result == KELO_OK) {
        std::printf("scan window of laser 0 (store): %.10g %.10g %.10g %.10g\n", w[0], w[1], w[2],
                    w[3]);
    } else {
        reportFailure(kName, "stored scan window", scanner.handle(), result,
                      {"a calibration answer", KELO_DEFAULT_TIMEOUT_MS, Refusal::NotHeld});
        ok = false;
    }
    return ok ? kExitOk : kExitFailed;
}

}  // namespace kelo::cli
