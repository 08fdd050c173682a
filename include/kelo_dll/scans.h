/* SPDX-License-Identifier: Apache-2.0 */
/* Scans: plain, per-laser and diagnostic, read while the connection is idle. */
#ifndef KELO_DLL_SCANS_H
#define KELO_DLL_SCANS_H

#include "api.h"

#define KELO_SCAN_HEADER_VALUES 8
/* Points a ScanRecord holds. A scan answer whose payload is longer than the
 * record is read to its end and discarded, the record untouched, and gives
 * -1. One that fits but counts more points than this also gives -1, with
 * its payload left in the record: header values and pointCount in host
 * order, the points as received. */
#define KELO_SCAN_MAX_POINTS 8192

KELO_BEGIN_DECLS

#pragma pack(push, 1)

/* One scan in host byte order: eight scanner-defined header values, the
 * number of valid points, then three 32-bit values per point. */
typedef struct ScanRecord {
    int32_t header[KELO_SCAN_HEADER_VALUES];
    int32_t pointCount;
    int32_t points[KELO_SCAN_MAX_POINTS][3];
} ScanRecord;

#pragma pack(pop)

KELO_STATIC_ASSERT(sizeof(ScanRecord) == 36 + 12 * KELO_SCAN_MAX_POINTS,
                   "ScanRecord must be nine header words and the points, unpadded");

/* Only while idle: 0 stored, -2 null argument, 21 synchronised (nothing
 * sent), -1 send or receive failure, time-out, wrong answer type or a scan
 * too large for the record. */
KELO_API int32_t KELO_CALL lpGetScan(ScannerConnection* connection, ScanRecord* scan);
KELO_API int32_t KELO_CALL lpGetScanN(ScannerConnection* connection, uint32_t laser,
                                      ScanRecord* scan);
/* The three values are the scanner's and are sent in argument order. */
KELO_API int32_t KELO_CALL lpGetDiagnosticScan(ScannerConnection* connection, uint32_t value1,
                                               uint32_t value2, uint32_t value3,
                                               ScanRecord* scan);

KELO_END_DECLS

#endif
