/* SPDX-License-Identifier: Apache-2.0 */
/* Synchronised acquisition: time, encoder and pulse sync, encoder, pulses. */
#ifndef KELO_DLL_SYNC_H
#define KELO_DLL_SYNC_H

#include "api.h"

#define KELO_PULSE_SETTING1_MIN 1000
#define KELO_PULSE_SETTING1_MAX 5000000
#define KELO_PULSE_SETTING2_MAX 511u

KELO_BEGIN_DECLS

KELO_API int32_t KELO_CALL lpEnterTimeSyncMode(ScannerConnection* connection);
KELO_API int32_t KELO_CALL lpEnterEncoderSyncMode(ScannerConnection* connection);
KELO_API int32_t KELO_CALL lpEnterPulseSyncMode(ScannerConnection* connection);
/* Leaves any sync mode and drains the profile answers still owed. */
KELO_API int32_t KELO_CALL lpExitSyncMode(ScannerConnection* connection);
/* Halts acquisition; the connection stays synchronised. */
KELO_API int32_t KELO_CALL lpHaltSyncMode(ScannerConnection* connection);
KELO_API int32_t KELO_CALL lpSetEncoderValue(ScannerConnection* connection, uint16_t value);
KELO_API int32_t KELO_CALL lpSetEncoderValue32(ScannerConnection* connection, uint32_t value);
/* pulseSetting1 in [1000, 5000000], pulseSetting2 in [0, 511]. */
KELO_API int32_t KELO_CALL lpStartPulseMaster(ScannerConnection* connection,
                                              int32_t pulseSetting1, uint32_t pulseSetting2);
KELO_API int32_t KELO_CALL lpStopPulses(ScannerConnection* connection);
/* 1 synchronised, 0 idle, -2 null handle. */
KELO_API int32_t KELO_CALL lpIsInSyncMode(ScannerConnection* connection);

KELO_END_DECLS

#endif
