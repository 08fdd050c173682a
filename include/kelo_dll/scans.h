/* SPDX-License-Identifier: Apache-2.0 */
/** @file
 * Scans: plain, per laser and diagnostic, read while the connection is
 * idle. A scan request takes the next answer on the connection as its own:
 * profile answers still owed must have been read first. */
#ifndef KELO_DLL_SCANS_H
#define KELO_DLL_SCANS_H

#include "api.h"

/** Header values of a scan, defined by the scanner. */
#define KELO_SCAN_HEADER_VALUES 8
/** Points a ScanRecord holds. A scan answer whose payload is longer than the
 * record is read to its end and dropped, the record untouched, and gives
 * ::KELO_ERROR_IO. One that fits but counts more points than this also gives
 * ::KELO_ERROR_IO, with its payload left in the record: header values and
 * pointCount in host order, the points as received. */
#define KELO_SCAN_MAX_POINTS 8192

KELO_BEGIN_DECLS

#pragma pack(push, 1)

/** One scan in host byte order, about 96 KiB. */
typedef struct ScanRecord {
    /** Header values, defined by the scanner and passed on unchanged. */
    int32_t header[KELO_SCAN_HEADER_VALUES];
    /** Number of valid points at the start of @ref points. */
    int32_t pointCount;
    /** Three values per point, defined by the scanner. Points past
     * @ref pointCount are left as they were received. */
    int32_t points[KELO_SCAN_MAX_POINTS][3];
} ScanRecord;

#pragma pack(pop)

KELO_STATIC_ASSERT(sizeof(ScanRecord) == 36 + 12 * KELO_SCAN_MAX_POINTS,
                   "ScanRecord must be nine header words and the points, unpadded");

/** Asks for a scan and reads it; only while idle. Each wait for a piece of
 * the answer lasts at most ::KELO_DEFAULT_TIMEOUT_MS.
 * @param connection handle.
 * @param scan where the scan is stored.
 * @retval KELO_OK the scan was stored.
 * @retval KELO_ERROR_ARGUMENT null handle or record.
 * @retval KELO_ERROR_STATE the connection is synchronised; nothing sent.
 * @retval KELO_ERROR_IO send or receive failure, time-out, an answer of
 *         another type, or a scan too large for the record. */
KELO_API int32_t KELO_CALL lpGetScan(ScannerConnection* connection, ScanRecord* scan);
/** Asks for a scan of one laser and reads it, as lpGetScan() does.
 * @param connection handle.
 * @param laser the laser's number, passed to the scanner.
 * @param scan where the scan is stored.
 * @return the results of lpGetScan(). */
KELO_API int32_t KELO_CALL lpGetScanN(ScannerConnection* connection, uint32_t laser,
                                      ScanRecord* scan);
/** Asks for a diagnostic scan and reads it, as lpGetScan() does.
 * @param connection handle.
 * @param value1 first value of the request, the scanner's; sent as given.
 * @param value2 second value of the request.
 * @param value3 third value of the request.
 * @param scan where the scan is stored.
 * @return the results of lpGetScan(). */
KELO_API int32_t KELO_CALL lpGetDiagnosticScan(ScannerConnection* connection, uint32_t value1,
                                               uint32_t value2, uint32_t value3,
                                               ScanRecord* scan);

KELO_END_DECLS

#endif
