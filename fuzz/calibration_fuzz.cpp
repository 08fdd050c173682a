// SPDX-License-Identifier: Apache-2.0
// Calibration answers: the retrieval of every laser into the store, the
// scan window and the position calibration read straight from the scanner.
#include <cstdint>

#include "fed_connection.h"
#include "kelo_dll/calibration.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto input = kelo::fuzz::select(data, size, 3);
    kelo::fuzz::FedConnection fed(input);
    ScannerConnection* c = fed.connection();
    if (c == nullptr) return 0;
    switch (input.choice) {
        case 0: {
            lpRetrieveCalibrationValues(c);
            double v[KELO_TRANSFORM_VALUES];
            lpGetLaserCount(c);
            lpGetScanWindow(c, &v[0], &v[1], &v[2], &v[3]);
            for (int32_t laser = -1; laser < 4; ++laser) {
                lpGetTransformParametersN(c, laser, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5],
                                          &v[6], &v[7], &v[8], &v[9], &v[10], &v[11], &v[12],
                                          &v[13]);
            }
            break;
        }
        case 1: {
            int32_t w[4];
            lpReadScanWindowN(c, input.option, &w[0], &w[1], &w[2], &w[3]);
            break;
        }
        case 2: {
            double p[3];
            lpReadPositionCalibrationN(c, input.option, &p[0], &p[1], &p[2]);
            break;
        }
    }
    return 0;
}
