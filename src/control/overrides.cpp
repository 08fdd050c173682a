// SPDX-License-Identifier: Apache-2.0
// Run-time overrides: one command each, no answer read.
#include "control/overrides_scaling.h"
#include "core/call_outcome.h"
#include "core/command_codes.h"
#include "core/scanner_connection.h"
#include "core/transport.h"
#include "core/wire.h"
#include "kelo_dll/overrides.h"

namespace {

using kelo::scaledWord;

// Written so that NaN falls outside.
bool autoexposureRealInRange(double value) {
    return value >= KELO_AUTOEXPOSURE_REAL_MIN && value <= KELO_AUTOEXPOSURE_REAL_MAX;
}

bool alternatingExposureInRange(int32_t exposure) {
    return exposure >= KELO_ALTERNATING_EXPOSURE_MIN && exposure <= KELO_ALTERNATING_EXPOSURE_MAX;
}

template <typename CommandT>
int32_t sendOverride(ScannerConnection* connection, const CommandT& command) {
    return kelo::sendCommand(connection->link(), command) == 0 ? KELO_OK : KELO_ERROR_IO;
}

}  // namespace

extern "C" {

KELO_API int32_t KELO_CALL lpOverrideSyncSettings(ScannerConnection* connection, double real1,
                                                  double real2, double real3, uint32_t int1,
                                                  uint8_t flag1, double real4, double real5,
                                                  double real6, double real7, double real8,
                                                  uint8_t flag2, uint8_t flag3) {
    if (!kelo::beginCall(connection)) return KELO_ERROR_ARGUMENT;
    if (connection->synchronised()) return kelo::refuse(connection, KELO_ERROR_STATE);
    return sendOverride(connection,
                kelo::wire::buildCommand(
                    kelo::kCmdOverrideSyncSettings, scaledWord(real1, kelo::kScaleMicro),
                    scaledWord(real2, kelo::kScaleTenThousand),
                    scaledWord(real3, kelo::kScaleTenThousand), int1, uint32_t(flag1),
                    scaledWord(real4, kelo::kScaleMilli), scaledWord(real5, kelo::kScaleMilli),
                    scaledWord(real6, kelo::kScaleMilli), scaledWord(real7, kelo::kScaleMilli),
                    scaledWord(real8, kelo::kScaleMilli), uint32_t(flag2), uint32_t(flag3)));
}

KELO_API int32_t KELO_CALL lpOverrideLaserAutoexposure(ScannerConnection* connection,
                                                       double real1, double real2, double real3,
                                                       uint32_t int1, int32_t int2, uint32_t int3,
                                                       uint8_t flag) {
    if (!kelo::beginCall(connection)) return KELO_ERROR_ARGUMENT;
    if (connection->synchronised()) return kelo::refuse(connection, KELO_ERROR_STATE);
    if (!autoexposureRealInRange(real1) || !autoexposureRealInRange(real2) ||
        !autoexposureRealInRange(real3) || int1 > KELO_AUTOEXPOSURE_WORD_MAX ||
        int2 < KELO_AUTOEXPOSURE_INT_MIN || int2 > KELO_AUTOEXPOSURE_INT_MAX ||
        int3 > KELO_AUTOEXPOSURE_WORD_MAX) {
        return kelo::refuse(connection, KELO_ERROR_ARGUMENT);
    }
    return sendOverride(connection, kelo::wire::buildCommand(
                                kelo::kCmdOverrideAutoexposure, scaledWord(real1, kelo::kScaleMilli),
                                scaledWord(real2, kelo::kScaleMilli),
                                scaledWord(real3, kelo::kScaleMilli), int1, uint32_t(int2), int3,
                                uint32_t(flag)));
}

KELO_API int32_t KELO_CALL lpOverrideScanWindow(ScannerConnection* connection, double real1,
                                                double real2, double real3, double real4) {
    if (!kelo::beginCall(connection)) return KELO_ERROR_ARGUMENT;
    if (connection->synchronised()) return kelo::refuse(connection, KELO_ERROR_STATE);
    // Each pair strictly ordered; only its larger value is bounded.
    const bool valid = real2 < real1 && real3 < real4 && real1 < KELO_SCAN_WINDOW_LIMIT &&
                       real4 < KELO_SCAN_WINDOW_LIMIT;
    if (!valid) return kelo::refuse(connection, KELO_ERROR_ARGUMENT);
    return sendOverride(connection, kelo::wire::buildCommand(
                                kelo::kCmdOverrideScanWindow, scaledWord(real1, kelo::kScaleMilli),
                                scaledWord(real2, kelo::kScaleMilli),
                                scaledWord(real3, kelo::kScaleMilli),
                                scaledWord(real4, kelo::kScaleMilli)));
}

KELO_API int32_t KELO_CALL lpSetAlternatingExposure(ScannerConnection* connection,
                                                    uint8_t enable, int32_t exposure1,
                                                    int32_t exposure2) {
    if (!kelo::beginCall(connection)) return KELO_ERROR_ARGUMENT;
    // Ranges before the sync state, unlike the other overrides.
    if (enable != 0 &&
        (!alternatingExposureInRange(exposure1) || !alternatingExposureInRange(exposure2))) {
        return kelo::refuse(connection, KELO_ERROR_ARGUMENT);
    }
    if (!connection->synchronised()) return kelo::refuse(connection, KELO_ERROR_STATE);
    return sendOverride(connection, kelo::wire::buildCommand(kelo::kCmdAlternatingExposure,
                                                     uint32_t(enable), uint32_t(exposure1),
                                                     uint32_t(exposure2)));
}

}  // extern "C"
