// SPDX-License-Identifier: Apache-2.0
// The scan requests: one command, then the scan answer, while idle.
#include "acquisition/scan_decoder.h"
#include "core/call_outcome.h"
#include "core/command_codes.h"
#include "core/scanner_connection.h"
#include "core/transport.h"
#include "core/wire.h"
#include "kelo_dll/scans.h"

namespace {

template <typename CommandT>
int32_t requestScan(ScannerConnection* connection, ScanRecord* scan, const CommandT& command) {
    if (!kelo::beginCall(connection, scan)) return KELO_ERROR_ARGUMENT;
    if (connection->synchronised()) return kelo::refuse(connection, KELO_ERROR_STATE);
    if (kelo::sendCommand(connection->link(), command) != 0) return KELO_ERROR_IO;
    return kelo::decodeScan(connection->link(), scan);
}

}  // namespace

extern "C" {

KELO_API int32_t KELO_CALL lpGetScan(ScannerConnection* connection, ScanRecord* scan) {
    return requestScan(connection, scan, kelo::wire::buildCommand(kelo::kCmdScan));
}

KELO_API int32_t KELO_CALL lpGetScanN(ScannerConnection* connection, uint32_t laser,
                                      ScanRecord* scan) {
    return requestScan(connection, scan, kelo::wire::buildCommand(kelo::kCmdScanN, laser));
}

KELO_API int32_t KELO_CALL lpGetDiagnosticScan(ScannerConnection* connection, uint32_t value1,
                                               uint32_t value2, uint32_t value3,
                                               ScanRecord* scan) {
    return requestScan(connection, scan,
                       kelo::wire::buildCommand(kelo::kCmdDiagnosticScan, value1, value2, value3));
}

}  // extern "C"
