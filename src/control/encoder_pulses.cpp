// SPDX-License-Identifier: Apache-2.0
// The scanner's encoder value and its pulse generator.
#include "core/call_outcome.h"
#include "core/command_codes.h"
#include "core/scanner_connection.h"
#include "core/transport.h"
#include "core/wire.h"
#include "kelo_dll/sync.h"

namespace {

// The last two words of the pulse command are always zero.
constexpr std::uint32_t kPulseReserved = 0;

int32_t sendEncoderValue(ScannerConnection* connection, std::uint32_t value) {
    if (!kelo::beginCall(connection)) return KELO_ERROR_ARGUMENT;
    if (connection->synchronised()) return kelo::refuse(connection, KELO_ERROR_STATE);
    return kelo::sendCommand(connection->link(),
                             kelo::wire::buildCommand(kelo::kCmdEncoderValue, value)) == 0
               ? KELO_OK
               : KELO_ERROR_IO;
}

int32_t sendPulseCommand(ScannerConnection* connection, std::uint32_t setting1,
                         std::uint32_t setting2) {
    return kelo::sendCommand(connection->link(),
                             kelo::wire::buildCommand(kelo::kCmdPulseGenerator, setting1, setting2,
                                                      kPulseReserved, kPulseReserved)) == 0
               ? KELO_OK
               : KELO_ERROR_IO;
}

}  // namespace

extern "C" {

KELO_API int32_t KELO_CALL lpSetEncoderValue(ScannerConnection* connection, uint16_t value) {
    return sendEncoderValue(connection, value);
}

KELO_API int32_t KELO_CALL lpSetEncoderValue32(ScannerConnection* connection, uint32_t value) {
    return sendEncoderValue(connection, value);
}

// Ranges are checked before the state, so bad settings give -2 even idle.
KELO_API int32_t KELO_CALL lpStartPulseMaster(ScannerConnection* connection,
                                              int32_t pulseSetting1, uint32_t pulseSetting2) {
    if (!kelo::beginCall(connection)) return KELO_ERROR_ARGUMENT;
    if (pulseSetting1 < KELO_PULSE_SETTING1_MIN || pulseSetting1 > KELO_PULSE_SETTING1_MAX ||
        pulseSetting2 > KELO_PULSE_SETTING2_MAX) {
        return kelo::refuse(connection, KELO_ERROR_ARGUMENT);
    }
    if (!connection->synchronised()) return kelo::refuse(connection, KELO_ERROR_STATE);
    return sendPulseCommand(connection, static_cast<std::uint32_t>(pulseSetting1), pulseSetting2);
}

KELO_API int32_t KELO_CALL lpStopPulses(ScannerConnection* connection) {
    if (!kelo::beginCall(connection)) return KELO_ERROR_ARGUMENT;
    if (!connection->synchronised()) return kelo::refuse(connection, KELO_ERROR_STATE);
    return sendPulseCommand(connection, 0, 0);
}

}  // extern "C"
