/* SPDX-License-Identifier: Apache-2.0 */
/* Run-time overrides of sync, exposure and scan-window settings. Real values
 * travel as value times a fixed scale, truncated toward zero; a product
 * outside the signed 32-bit range, or a NaN, is sent as -2147483648. Byte
 * flags travel zero-extended. None of these reads an answer: 0 means the
 * command was handed to the socket. */
#ifndef KELO_DLL_OVERRIDES_H
#define KELO_DLL_OVERRIDES_H

#include "api.h"

#define KELO_AUTOEXPOSURE_REAL_MIN 0.01
#define KELO_AUTOEXPOSURE_REAL_MAX 650.0
#define KELO_AUTOEXPOSURE_WORD_MAX 1023u
#define KELO_AUTOEXPOSURE_INT_MIN 1
#define KELO_AUTOEXPOSURE_INT_MAX 100
#define KELO_SCAN_WINDOW_LIMIT 2147483.0
#define KELO_ALTERNATING_EXPOSURE_MIN 10
#define KELO_ALTERNATING_EXPOSURE_MAX 650000

KELO_BEGIN_DECLS

/* Idle only (21 when synchronised); no range checks. real1 is scaled by
 * 1,000,000, real2 and real3 by 10,000, real4 to real8 by 1000. */
KELO_API int32_t KELO_CALL lpOverrideSyncSettings(ScannerConnection* connection, double real1,
                                                  double real2, double real3, uint32_t int1,
                                                  uint8_t flag1, double real4, double real5,
                                                  double real6, double real7, double real8,
                                                  uint8_t flag2, uint8_t flag3);

/* Idle only. real1 to real3 in [0.01, 650.0] (scaled by 1000), int1 and
 * int3 in [0, 1023], int2 in [1, 100]; otherwise -2. */
KELO_API int32_t KELO_CALL lpOverrideLaserAutoexposure(ScannerConnection* connection,
                                                       double real1, double real2, double real3,
                                                       uint32_t int1, int32_t int2, uint32_t int3,
                                                       uint8_t flag);

/* Idle only. Needs real2 < real1 < 2147483.0 and real3 < real4 < 2147483.0
 * (all scaled by 1000); otherwise -2. */
KELO_API int32_t KELO_CALL lpOverrideScanWindow(ScannerConnection* connection, double real1,
                                                double real2, double real3, double real4);

/* Synchronised only, but the exposures are checked first: with enable
 * non-zero both must be in [10, 650000] (-2 otherwise, even when idle). */
KELO_API int32_t KELO_CALL lpSetAlternatingExposure(ScannerConnection* connection,
                                                    uint8_t enable, int32_t exposure1,
                                                    int32_t exposure2);

KELO_END_DECLS

#endif
