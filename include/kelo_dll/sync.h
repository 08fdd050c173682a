/* SPDX-License-Identifier: Apache-2.0 */
/** @file
 * Synchronised acquisition: time, encoder and pulse sync, the encoder value
 * and the pulse generator.
 *
 * A connection is idle or synchronised. While synchronised the scanner
 * measures on its own clock, an encoder or pulses, and profiles are read in
 * batches (profiles.h); scans, images, parameters, calibration reads and
 * status fetches are refused with ::KELO_ERROR_STATE. None of these commands
 * has an answer: ::KELO_OK means the command was handed to the socket. */
#ifndef KELO_DLL_SYNC_H
#define KELO_DLL_SYNC_H

#include "api.h"

/** Smallest first setting of lpStartPulseMaster(). */
#define KELO_PULSE_SETTING1_MIN 1000
/** Largest first setting of lpStartPulseMaster(). */
#define KELO_PULSE_SETTING1_MAX 5000000
/** Largest second setting of lpStartPulseMaster(). */
#define KELO_PULSE_SETTING2_MAX 511u

KELO_BEGIN_DECLS

/** Puts the scanner into time-synchronised acquisition. Allowed in either
 * state: sent again while synchronised, whichever mode was entered.
 * @param connection handle.
 * @retval KELO_OK sent; the connection is synchronised.
 * @retval KELO_ERROR_ARGUMENT null handle.
 * @retval KELO_ERROR_IO the send failed; the state is unchanged. */
KELO_API int32_t KELO_CALL lpEnterTimeSyncMode(ScannerConnection* connection);
/** Puts the scanner into encoder-synchronised acquisition; set the encoder
 * value first (lpSetEncoderValue32()), since that is refused once
 * synchronised. Allowed in either state.
 * @param connection handle.
 * @retval KELO_OK sent; the connection is synchronised.
 * @retval KELO_ERROR_ARGUMENT null handle.
 * @retval KELO_ERROR_IO the send failed; the state is unchanged. */
KELO_API int32_t KELO_CALL lpEnterEncoderSyncMode(ScannerConnection* connection);
/** Puts the scanner into pulse-synchronised acquisition; start the pulses
 * with lpStartPulseMaster() afterwards. Only while idle.
 * @param connection handle.
 * @retval KELO_OK sent; the connection is synchronised.
 * @retval KELO_ERROR_ARGUMENT null handle.
 * @retval KELO_ERROR_STATE already synchronised; nothing sent.
 * @retval KELO_ERROR_IO the send failed; the state is unchanged. */
KELO_API int32_t KELO_CALL lpEnterPulseSyncMode(ScannerConnection* connection);
/** Leaves any sync mode, then reads and drops the profile answers still
 * owed (lpCleanUpOutstandingRequests()). The connection is idle once the
 * command was sent, even when draining fails.
 * @param connection handle.
 * @retval KELO_OK sent and drained.
 * @retval KELO_ERROR_ARGUMENT null handle.
 * @retval KELO_ERROR_STATE the connection is idle; nothing sent.
 * @retval KELO_ERROR_IO the send failed (still synchronised), or draining
 *         failed (idle, the answers not drained still counted). */
KELO_API int32_t KELO_CALL lpExitSyncMode(ScannerConnection* connection);
/** Halts acquisition; the connection stays synchronised and is left with
 * lpExitSyncMode().
 * @param connection handle.
 * @retval KELO_OK sent.
 * @retval KELO_ERROR_ARGUMENT null handle.
 * @retval KELO_ERROR_STATE the connection is idle; nothing sent.
 * @retval KELO_ERROR_IO the send failed. */
KELO_API int32_t KELO_CALL lpHaltSyncMode(ScannerConnection* connection);
/** Sets the scanner's encoder value, zero-extended to 32 bits; only while
 * idle.
 * @param connection handle.
 * @param value the encoder value.
 * @retval KELO_OK sent.
 * @retval KELO_ERROR_ARGUMENT null handle.
 * @retval KELO_ERROR_STATE the connection is synchronised; nothing sent.
 * @retval KELO_ERROR_IO the send failed. */
KELO_API int32_t KELO_CALL lpSetEncoderValue(ScannerConnection* connection, uint16_t value);
/** Sets the scanner's encoder value; only while idle.
 * @param connection handle.
 * @param value the encoder value, sent unchanged.
 * @return the results of lpSetEncoderValue(). */
KELO_API int32_t KELO_CALL lpSetEncoderValue32(ScannerConnection* connection, uint32_t value);
/** Starts the scanner's pulse generator; only while synchronised (after
 * lpEnterPulseSyncMode()). The settings are the scanner's and are passed on
 * once their ranges are checked.
 * @param connection handle.
 * @param pulseSetting1 from ::KELO_PULSE_SETTING1_MIN to
 *        ::KELO_PULSE_SETTING1_MAX, both included.
 * @param pulseSetting2 from 0 to ::KELO_PULSE_SETTING2_MAX.
 * @retval KELO_OK sent.
 * @retval KELO_ERROR_ARGUMENT null handle or a setting out of range
 *         (checked before the state).
 * @retval KELO_ERROR_STATE the connection is idle; nothing sent.
 * @retval KELO_ERROR_IO the send failed. */
KELO_API int32_t KELO_CALL lpStartPulseMaster(ScannerConnection* connection,
                                              int32_t pulseSetting1, uint32_t pulseSetting2);
/** Stops the pulse generator; only while synchronised.
 * @param connection handle.
 * @retval KELO_OK sent.
 * @retval KELO_ERROR_ARGUMENT null handle.
 * @retval KELO_ERROR_STATE the connection is idle; nothing sent.
 * @retval KELO_ERROR_IO the send failed. */
KELO_API int32_t KELO_CALL lpStopPulses(ScannerConnection* connection);
/** Whether the connection is synchronised; nothing is sent.
 * @param connection handle.
 * @retval 1 synchronised.
 * @retval 0 idle.
 * @retval KELO_ERROR_ARGUMENT null handle. */
KELO_API int32_t KELO_CALL lpIsInSyncMode(ScannerConnection* connection);

KELO_END_DECLS

#endif
