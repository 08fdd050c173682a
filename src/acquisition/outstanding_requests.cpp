// SPDX-License-Identifier: Apache-2.0
// Draining the answers still owed to a connection, and their count.
#include "acquisition/outstanding_requests.h"

#include <cstdint>

#include "core/call_outcome.h"
#include "core/scanner_connection.h"
#include "core/transport.h"
#include "core/wire.h"
#include "kelo_dll/profiles.h"

extern "C" {

KELO_API int32_t KELO_CALL lpCleanUpOutstandingRequests(ScannerConnection* connection) {
    if (!kelo::beginCall(connection)) return KELO_ERROR_ARGUMENT;
    while (connection->outstandingRequests != 0) {
        std::uint8_t headerBytes[kelo::wire::kHeaderSize];
        if (kelo::receiveExactDefault(connection->link(), headerBytes, sizeof headerBytes) != 0) {
            return KELO_ERROR_IO;
        }
        // The length is taken as signed: a negative one skips nothing.
        const auto remaining =
            static_cast<std::int32_t>(kelo::wire::parseAnswerHeader(headerBytes).length);
        if (remaining > 0 &&
            kelo::discardExact(connection->link(), static_cast<std::uint32_t>(remaining),
                               kelo::kDefaultTimeoutMs) != kelo::kReceiveOk) {
            return KELO_ERROR_IO;
        }
        kelo::uncountRequest(connection);
    }
    return KELO_OK;
}

KELO_API int32_t KELO_CALL lpGetNumberOfOutstandingRequests(ScannerConnection* connection) {
    if (connection == nullptr) return KELO_ERROR_ARGUMENT;
    return static_cast<int32_t>(connection->outstandingRequests);
}

}  // extern "C"
