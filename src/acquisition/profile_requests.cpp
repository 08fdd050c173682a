// SPDX-License-Identifier: Apache-2.0
// Single profile requests and reads, and one profile from every laser.
#include "acquisition/outstanding_requests.h"
#include "acquisition/profile_batch_reader.h"
#include "acquisition/profile_decoder.h"
#include "core/call_outcome.h"
#include "core/command_codes.h"
#include "core/scanner_connection.h"
#include "core/transport.h"
#include "core/wire.h"
#include "kelo_dll/profiles.h"

namespace {

int32_t sendProfileRequestN(ScannerConnection* connection, uint32_t laser) {
    // Counted before the send, and kept counted if the send fails.
    kelo::countRequest(connection);
    if (kelo::sendCommand(connection->link(), kelo::wire::buildCommand(kelo::kCmdProfileRequestN, laser)) != 0) {
        return KELO_ERROR_IO;
    }
    return KELO_OK;
}

int32_t readProfile(ScannerConnection* connection, ProfileRecord* record) {
    kelo::uncountRequest(connection);
    return kelo::decodeProfile(connection->link(), record, kelo::kDefaultTimeoutMs);
}

}  // namespace

extern "C" {

KELO_API int32_t KELO_CALL lpSendProfileRequest(ScannerConnection* connection) {
    if (!kelo::beginCall(connection)) return KELO_ERROR_ARGUMENT;
    if (kelo::sendCommand(connection->link(), kelo::wire::buildCommand(kelo::kCmdProfileRequest)) != 0) {
        return KELO_ERROR_IO;
    }
    kelo::countRequest(connection);
    return KELO_OK;
}

KELO_API int32_t KELO_CALL lpSendProfileRequestN(ScannerConnection* connection, uint32_t laser) {
    if (!kelo::beginCall(connection)) return KELO_ERROR_ARGUMENT;
    if (connection->synchronised()) return kelo::refuse(connection, KELO_ERROR_STATE);
    return sendProfileRequestN(connection, laser);
}

KELO_API int32_t KELO_CALL lpReadProfile(ScannerConnection* connection, ProfileRecord* record) {
    if (!kelo::beginCall(connection, record)) return KELO_ERROR_ARGUMENT;
    return readProfile(connection, record);
}

KELO_API int32_t KELO_CALL lpReadProfileN(ScannerConnection* connection, ProfileRecord* record) {
    return lpReadProfile(connection, record);
}

KELO_API int32_t KELO_CALL lpGetProfile(ScannerConnection* connection, ProfileRecord* record) {
    if (!kelo::beginCall(connection, record)) return KELO_ERROR_ARGUMENT;
    if (kelo::sendCommand(connection->link(), kelo::wire::buildCommand(kelo::kCmdProfileRequest)) != 0) {
        return KELO_ERROR_IO;
    }
    return kelo::decodeProfile(connection->link(), record, kelo::kDefaultTimeoutMs);
}

KELO_API int32_t KELO_CALL lpGetProfileN(ScannerConnection* connection, uint32_t laser,
                                         ProfileRecord* record) {
    if (!kelo::beginCall(connection, record)) return KELO_ERROR_ARGUMENT;
    if (connection->synchronised()) return kelo::refuse(connection, KELO_ERROR_STATE);
    const int32_t sent = sendProfileRequestN(connection, laser);
    if (sent != KELO_OK) return sent;
    return readProfile(connection, record);
}

KELO_API int32_t KELO_CALL lpGetProfileFromAllLasers(ScannerConnection* connection,
                                                     ProfileRecord* records, uint32_t capacity) {
    if (!kelo::beginCall(connection, records)) return KELO_ERROR_ARGUMENT;
    if (connection->synchronised()) return kelo::refuse(connection, KELO_ERROR_STATE);
    if (kelo::sendCommand(connection->link(), kelo::wire::buildCommand(kelo::kCmdProfileFromAllLasers)) != 0) {
        return KELO_ERROR_IO;
    }
    // The type of the answer is not looked at: the third word is the count
    // whatever came.
    return kelo::readProfileBatch(connection->link(), kelo::readAheadOf(connection),
                                  kelo::Records<ProfileRecord>{records, capacity},
                                  kelo::kDefaultTimeoutMs, kelo::LeadRule::AnyType);
}

}  // extern "C"
