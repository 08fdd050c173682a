// SPDX-License-Identifier: Apache-2.0
// Entering, halting and leaving time, encoder and pulse synchronisation.
#include "core/call_outcome.h"
#include "core/command_codes.h"
#include "core/scanner_connection.h"
#include "core/transport.h"
#include "core/wire.h"
#include "kelo_dll/profiles.h"
#include "kelo_dll/sync.h"

namespace {

constexpr std::uint8_t kSynchronised = 1;
constexpr std::uint8_t kIdle = 0;

int32_t sendHeaderOnly(ScannerConnection* connection, std::uint32_t code) {
    return kelo::sendCommand(connection->link(), kelo::wire::buildCommand(code)) == 0
               ? KELO_OK
               : KELO_ERROR_IO;
}

// The flag only changes once the command has gone out.
int32_t enter(ScannerConnection* connection, std::uint32_t code) {
    const int32_t sent = sendHeaderOnly(connection, code);
    if (sent == KELO_OK) connection->syncFlag = kSynchronised;
    return sent;
}

}  // namespace

extern "C" {

// Time and encoder sync may be entered again while synchronised.
KELO_API int32_t KELO_CALL lpEnterTimeSyncMode(ScannerConnection* connection) {
    if (!kelo::beginCall(connection)) return KELO_ERROR_ARGUMENT;
    return enter(connection, kelo::kCmdEnterTimeSync);
}

KELO_API int32_t KELO_CALL lpEnterEncoderSyncMode(ScannerConnection* connection) {
    if (!kelo::beginCall(connection)) return KELO_ERROR_ARGUMENT;
    return enter(connection, kelo::kCmdEnterEncoderSync);
}

KELO_API int32_t KELO_CALL lpEnterPulseSyncMode(ScannerConnection* connection) {
    if (!kelo::beginCall(connection)) return KELO_ERROR_ARGUMENT;
    if (connection->synchronised()) return kelo::refuse(connection, KELO_ERROR_STATE);
    return enter(connection, kelo::kCmdEnterPulseSync);
}

KELO_API int32_t KELO_CALL lpExitSyncMode(ScannerConnection* connection) {
    if (!kelo::beginCall(connection)) return KELO_ERROR_ARGUMENT;
    if (!connection->synchronised()) return kelo::refuse(connection, KELO_ERROR_STATE);
    const int32_t sent = sendHeaderOnly(connection, kelo::kCmdExitSync);
    if (sent != KELO_OK) return sent;
    // Idle from here on, even if draining fails: the count keeps what is
    // still owed for a later clean-up.
    connection->syncFlag = kIdle;
    return lpCleanUpOutstandingRequests(connection);
}

KELO_API int32_t KELO_CALL lpHaltSyncMode(ScannerConnection* connection) {
    if (!kelo::beginCall(connection)) return KELO_ERROR_ARGUMENT;
    if (!connection->synchronised()) return kelo::refuse(connection, KELO_ERROR_STATE);
    return sendHeaderOnly(connection, kelo::kCmdHaltSync);
}

// Reads the flag only: the note of why the last call failed stays.
KELO_API int32_t KELO_CALL lpIsInSyncMode(ScannerConnection* connection) {
    if (connection == nullptr) return KELO_ERROR_ARGUMENT;
    return connection->synchronised() ? 1 : 0;
}

}  // extern "C"
