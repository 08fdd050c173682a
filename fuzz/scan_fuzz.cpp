// SPDX-License-Identifier: Apache-2.0
// Scan answers (decodeScan through the exported scan requests).
#include <cstdint>
#include <memory>

#include "fed_connection.h"
#include "kelo_dll/scans.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto input = kelo::fuzz::select(data, size, 3);
    kelo::fuzz::FedConnection fed(input);
    ScannerConnection* c = fed.connection();
    if (c == nullptr) return 0;
    std::unique_ptr<ScanRecord> scan(new ScanRecord);
    int32_t result = 0;
    switch (input.choice) {
        case 0: result = lpGetScan(c, scan.get()); break;
        case 1: result = lpGetDiagnosticScan(c, input.option, 2, 3, scan.get()); break;
        case 2: result = lpGetScanN(c, input.option, scan.get()); break;
    }
    // A stored scan never counts more points than the record holds.
    if (result == 0 && scan->pointCount > KELO_SCAN_MAX_POINTS) __builtin_trap();
    return 0;
}
