// SPDX-License-Identifier: Apache-2.0
// Batch requests and reads while the connection is synchronised.
#include "acquisition/outstanding_requests.h"
#include "acquisition/profile_batch_reader.h"
#include "core/call_outcome.h"
#include "core/command_codes.h"
#include "core/scanner_connection.h"
#include "core/transport.h"
#include "core/wire.h"
#include "kelo_dll/profiles.h"

namespace {

template <typename Record>
int32_t readBatch(ScannerConnection* connection, Record* records, uint32_t capacity,
                  int32_t timeoutMs) {
    if (!kelo::beginCall(connection, records)) return KELO_ERROR_ARGUMENT;
    if (!connection->synchronised()) return kelo::refuse(connection, KELO_ERROR_STATE);
    if (connection->outstandingRequests == 0) return 0;
    kelo::uncountRequest(connection);

    return kelo::readProfileBatch(connection->link(), kelo::readAheadOf(connection),
                                  kelo::Records<Record>{records, capacity},
                                  timeoutMs, kelo::LeadRule::BatchOnly);
}

}  // namespace

extern "C" {

KELO_API int32_t KELO_CALL lpSendMultipleProfileRequest(ScannerConnection* connection,
                                                        uint32_t count) {
    if (!kelo::beginCall(connection)) return KELO_ERROR_ARGUMENT;
    if (!connection->synchronised()) return kelo::refuse(connection, KELO_ERROR_STATE);
    // Counted before the send, and kept counted if the send fails.
    kelo::countRequest(connection);
    if (kelo::sendCommand(connection->link(),
                          kelo::wire::buildCommand(kelo::kCmdMultipleProfileRequest, count)) != 0) {
        return KELO_ERROR_IO;
    }
    return KELO_OK;
}

KELO_API int32_t KELO_CALL lpReadMultipleProfilesTimeout(ScannerConnection* connection,
                                                         ProfileRecord* records,
                                                         uint32_t capacity, int32_t timeoutMs) {
    return readBatch(connection, records, capacity, timeoutMs);
}

KELO_API int32_t KELO_CALL lpReadMultipleProfiles(ScannerConnection* connection,
                                                  ProfileRecord* records, uint32_t capacity) {
    return readBatch(connection, records, capacity, kelo::kDefaultTimeoutMs);
}

KELO_API int32_t KELO_CALL lpReadMultipleLargeProfiles(ScannerConnection* connection,
                                                       LargeProfileRecord* records,
                                                       uint32_t capacity, int32_t timeoutMs) {
    return readBatch(connection, records, capacity, timeoutMs);
}

KELO_API int32_t KELO_CALL lpGetMultipleProfiles(ScannerConnection* connection,
                                                 ProfileRecord* records, uint32_t count) {
    if (!kelo::beginCall(connection, records)) return KELO_ERROR_ARGUMENT;
    if (!connection->synchronised()) return kelo::refuse(connection, KELO_ERROR_STATE);
    const int32_t sent = lpSendMultipleProfileRequest(connection, count);
    if (sent != KELO_OK) return sent;
    return readBatch(connection, records, count, kelo::kDefaultTimeoutMs);
}

}  // extern "C"
