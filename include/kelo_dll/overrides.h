/* SPDX-License-Identifier: Apache-2.0 */
/** @file
 * Run-time overrides of sync, exposure and scan-window settings.
 *
 * Real values travel as the value times a fixed scale, truncated toward
 * zero; a product outside the signed 32-bit range, or a NaN, is sent as
 * -2147483648. Byte flags travel zero-extended (2 is sent as 2). None of
 * these reads an answer: ::KELO_OK means the command was handed to the
 * socket, not that the scanner took it, and the library keeps no copy of
 * the settings. */
#ifndef KELO_DLL_OVERRIDES_H
#define KELO_DLL_OVERRIDES_H

#include "api.h"

/** Smallest real value of lpOverrideLaserAutoexposure(). */
#define KELO_AUTOEXPOSURE_REAL_MIN 0.01
/** Largest real value of lpOverrideLaserAutoexposure(). */
#define KELO_AUTOEXPOSURE_REAL_MAX 650.0
/** Largest int1 and int3 of lpOverrideLaserAutoexposure(). */
#define KELO_AUTOEXPOSURE_WORD_MAX 1023u
/** Smallest int2 of lpOverrideLaserAutoexposure(). */
#define KELO_AUTOEXPOSURE_INT_MIN 1
/** Largest int2 of lpOverrideLaserAutoexposure(). */
#define KELO_AUTOEXPOSURE_INT_MAX 100
/** lpOverrideScanWindow() needs real1 and real4 below this. */
#define KELO_SCAN_WINDOW_LIMIT 2147483.0
/** Smallest exposure of lpSetAlternatingExposure() when enabled. */
#define KELO_ALTERNATING_EXPOSURE_MIN 10
/** Largest exposure of lpSetAlternatingExposure() when enabled. */
#define KELO_ALTERNATING_EXPOSURE_MAX 650000

KELO_BEGIN_DECLS

/** Overrides the scanner's sync settings; only while idle, no range checks.
 * The values are the scanner's and are sent in argument order.
 * @param connection handle.
 * @param real1 sent times 1,000,000.
 * @param real2 sent times 10,000.
 * @param real3 sent times 10,000.
 * @param int1 sent unchanged.
 * @param flag1 sent zero-extended.
 * @param real4 sent times 1000.
 * @param real5 sent times 1000.
 * @param real6 sent times 1000.
 * @param real7 sent times 1000.
 * @param real8 sent times 1000.
 * @param flag2 sent zero-extended.
 * @param flag3 sent zero-extended.
 * @retval KELO_OK sent.
 * @retval KELO_ERROR_ARGUMENT null handle.
 * @retval KELO_ERROR_STATE the connection is synchronised; nothing sent.
 * @retval KELO_ERROR_IO the send failed. */
KELO_API int32_t KELO_CALL lpOverrideSyncSettings(ScannerConnection* connection, double real1,
                                                  double real2, double real3, uint32_t int1,
                                                  uint8_t flag1, double real4, double real5,
                                                  double real6, double real7, double real8,
                                                  uint8_t flag2, uint8_t flag3);

/** Overrides the lasers' automatic exposure; only while idle. The values are
 * the scanner's; the library checks their ranges and sends them in argument
 * order.
 * @param connection handle.
 * @param real1 from ::KELO_AUTOEXPOSURE_REAL_MIN to ::KELO_AUTOEXPOSURE_REAL_MAX,
 *        sent times 1000.
 * @param real2 in the same range, sent times 1000.
 * @param real3 in the same range, sent times 1000.
 * @param int1 from 0 to ::KELO_AUTOEXPOSURE_WORD_MAX.
 * @param int2 from ::KELO_AUTOEXPOSURE_INT_MIN to ::KELO_AUTOEXPOSURE_INT_MAX.
 * @param int3 from 0 to ::KELO_AUTOEXPOSURE_WORD_MAX.
 * @param flag sent zero-extended.
 * @retval KELO_OK sent.
 * @retval KELO_ERROR_ARGUMENT null handle or a value out of range (checked
 *         after the state).
 * @retval KELO_ERROR_STATE the connection is synchronised; nothing sent.
 * @retval KELO_ERROR_IO the send failed. */
KELO_API int32_t KELO_CALL lpOverrideLaserAutoexposure(ScannerConnection* connection,
                                                       double real1, double real2, double real3,
                                                       uint32_t int1, int32_t int2, uint32_t int3,
                                                       uint8_t flag);

/** Overrides the scan window; only while idle. Each pair must be strictly
 * ordered, and the larger value of each below ::KELO_SCAN_WINDOW_LIMIT.
 * All four are sent times 1000.
 * @param connection handle.
 * @param real1 larger value of the first pair.
 * @param real2 smaller value of the first pair: real2 < real1.
 * @param real3 smaller value of the second pair.
 * @param real4 larger value of the second pair: real3 < real4.
 * @retval KELO_OK sent.
 * @retval KELO_ERROR_ARGUMENT null handle or values out of order or range
 *         (checked after the state).
 * @retval KELO_ERROR_STATE the connection is synchronised; nothing sent.
 * @retval KELO_ERROR_IO the send failed. */
KELO_API int32_t KELO_CALL lpOverrideScanWindow(ScannerConnection* connection, double real1,
                                                double real2, double real3, double real4);

/** Switches alternating exposure on or off; only while synchronised. The
 * exposures are checked before the state.
 * @param connection handle.
 * @param enable non-zero to switch it on; sent zero-extended.
 * @param exposure1 with @p enable non-zero, from ::KELO_ALTERNATING_EXPOSURE_MIN
 *        to ::KELO_ALTERNATING_EXPOSURE_MAX; otherwise anything. Sent as given.
 * @param exposure2 the same for the second exposure.
 * @retval KELO_OK sent.
 * @retval KELO_ERROR_ARGUMENT null handle or an exposure out of range, even
 *         on an idle connection.
 * @retval KELO_ERROR_STATE the connection is idle; nothing sent.
 * @retval KELO_ERROR_IO the send failed. */
KELO_API int32_t KELO_CALL lpSetAlternatingExposure(ScannerConnection* connection,
                                                    uint8_t enable, int32_t exposure1,
                                                    int32_t exposure2);

KELO_END_DECLS

#endif
