/* SPDX-License-Identifier: Apache-2.0 */
/** @file
 * Calibration: the per-laser store, intrinsic and position uploads, the
 * position history, transform parameters and scan windows.
 *
 * lpRetrieveCalibrationValues() copies the scanner's calibration of every
 * laser into the connection; lpGetLaserCount(), lpGetScanWindow() and
 * lpGetTransformParametersN() answer from that copy without traffic, and
 * see changes on the scanner only after the next retrieval. Numbers travel
 * as decimal text in the C runtime's current locale: a host program that
 * changes the numeric locale changes the decimal point. */
#ifndef KELO_DLL_CALIBRATION_H
#define KELO_DLL_CALIBRATION_H

#include "api.h"

/** Values of a position calibration. */
#define KELO_POSITION_VALUES 3
/** Values of an intrinsic calibration and transform parameters of a laser. */
#define KELO_TRANSFORM_VALUES 14
/** Bytes of OldPositionCalibration::text, its terminating zero included. */
#define KELO_OLD_POSITION_TEXT_SIZE 32

KELO_BEGIN_DECLS

#pragma pack(push, 1)

/** One earlier position calibration of a laser, 56 bytes. */
typedef struct OldPositionCalibration {
    /** Its three position values. */
    double position[KELO_POSITION_VALUES];
    /** Its text (the date line of its upload), at most 31 characters,
     * always zero-terminated. */
    char text[KELO_OLD_POSITION_TEXT_SIZE];
} OldPositionCalibration;

#pragma pack(pop)

KELO_STATIC_ASSERT(sizeof(OldPositionCalibration) == 56,
                   "OldPositionCalibration must be 56 bytes");

/** Fetches the calibration of laser 0, then of every further laser the
 * scanner reports (at most three lasers), into the connection's store. Runs
 * in either sync state, but answers owed must have been read first. A
 * failure leaves the lasers fetched before it updated and the failing one
 * partly updated.
 * @param connection handle.
 * @retval KELO_OK every laser fetched.
 * @retval KELO_ERROR_ARGUMENT null handle.
 * @retval KELO_ERROR_IO an exchange failed (time-outs included). */
KELO_API int32_t KELO_CALL lpRetrieveCalibrationValues(ScannerConnection* connection);
/** The scanner's laser count, from laser 0's calibration in the store; no
 * traffic.
 * @param connection handle.
 * @return the laser count as the scanner reported it.
 * @retval KELO_ERROR_ARGUMENT null handle.
 * @retval KELO_ERROR_STATE nothing retrieved yet. */
KELO_API int32_t KELO_CALL lpGetLaserCount(ScannerConnection* connection);
/** Laser 0's scan window from the store, each value the received one in
 * thousandths divided by 1000; no traffic. The outputs take the received
 * window values in the order 1, 3, 4, 2.
 * @param connection handle.
 * @param out1 receives window value 1.
 * @param out2 receives window value 3.
 * @param out3 receives window value 4.
 * @param out4 receives window value 2.
 * @retval KELO_OK written.
 * @retval KELO_ERROR_ARGUMENT null handle or output.
 * @retval KELO_ERROR_STATE nothing retrieved yet (outputs untouched). */
KELO_API int32_t KELO_CALL lpGetScanWindow(ScannerConnection* connection, double* out1,
                                           double* out2, double* out3, double* out4);
/** One laser's scan window straight from the scanner, in thousandths, in
 * the received order; only while idle. The store is not touched.
 * @param connection handle.
 * @param laserIndex the laser's number.
 * @param out1 receives window value 1.
 * @param out2 receives window value 2.
 * @param out3 receives window value 3.
 * @param out4 receives window value 4.
 * @retval KELO_OK written.
 * @retval KELO_ERROR_ARGUMENT null handle or output.
 * @retval KELO_ERROR_STATE the connection is synchronised; nothing sent.
 * @retval KELO_ERROR_IO the exchange failed. */
KELO_API int32_t KELO_CALL lpReadScanWindowN(ScannerConnection* connection, uint32_t laserIndex,
                                             int32_t* out1, int32_t* out2, int32_t* out3,
                                             int32_t* out4);

/** Uploads a laser's fourteen intrinsic calibration values, each as decimal
 * text of ten significant digits. Sent in either sync state; the scanner
 * does not answer, and the store shows the values only after the next
 * lpRetrieveCalibrationValues().
 * @param connection handle.
 * @param laserIndex the laser's number.
 * @param p1 value 1, sent first.
 * @param p2 value 2.
 * @param p3 value 3.
 * @param p4 value 4.
 * @param p5 value 5.
 * @param p6 value 6.
 * @param p7 value 7.
 * @param p8 value 8.
 * @param p9 value 9.
 * @param p10 value 10.
 * @param p11 value 11.
 * @param p12 value 12.
 * @param p13 value 13.
 * @param p14 value 14, sent last.
 * @retval KELO_OK sent.
 * @retval KELO_ERROR_ARGUMENT null handle.
 * @retval KELO_ERROR_IO a send failed. */
KELO_API int32_t KELO_CALL lpSendIntrinsicCalibrationN(
    ScannerConnection* connection, uint32_t laserIndex, double p1, double p2, double p3,
    double p4, double p5, double p6, double p7, double p8, double p9, double p10, double p11,
    double p12, double p13, double p14);
/** lpSendIntrinsicCalibrationN() for laser 0.
 * @param connection handle.
 * @param p1 value 1, sent first.
 * @param p2 value 2.
 * @param p3 value 3.
 * @param p4 value 4.
 * @param p5 value 5.
 * @param p6 value 6.
 * @param p7 value 7.
 * @param p8 value 8.
 * @param p9 value 9.
 * @param p10 value 10.
 * @param p11 value 11.
 * @param p12 value 12.
 * @param p13 value 13.
 * @param p14 value 14, sent last.
 * @return the results of lpSendIntrinsicCalibrationN(). */
KELO_API int32_t KELO_CALL lpSendIntrinsicCalibration(ScannerConnection* connection, double p1,
                                                      double p2, double p3, double p4,
                                                      double p5, double p6, double p7,
                                                      double p8, double p9, double p10,
                                                      double p11, double p12, double p13,
                                                      double p14);

/** Uploads a laser's three position values, stamped with the local date
 * and time; only while idle. The scanner does not answer, and the store is
 * not touched.
 * @param connection handle.
 * @param laserIndex the laser's number.
 * @param position1 position value 1.
 * @param position2 position value 2.
 * @param position3 position value 3.
 * @retval KELO_OK sent.
 * @retval KELO_ERROR_ARGUMENT null handle.
 * @retval KELO_ERROR_STATE the connection is synchronised; nothing sent.
 * @retval KELO_ERROR_IO a send failed. */
KELO_API int32_t KELO_CALL lpSendPositionCalibrationN(ScannerConnection* connection,
                                                      uint32_t laserIndex, double position1,
                                                      double position2, double position3);
/** A laser's current position values straight from the scanner; only while
 * idle. The store is not touched. A value whose text holds no number
 * leaves its output as it was.
 * @param connection handle.
 * @param laserIndex the laser's number.
 * @param position1 receives position value 1.
 * @param position2 receives position value 2.
 * @param position3 receives position value 3.
 * @retval KELO_OK read.
 * @retval KELO_ERROR_ARGUMENT null handle or output.
 * @retval KELO_ERROR_STATE the connection is synchronised; nothing sent.
 * @retval KELO_ERROR_IO the exchange failed. */
KELO_API int32_t KELO_CALL lpReadPositionCalibrationN(ScannerConnection* connection,
                                                      uint32_t laserIndex, double* position1,
                                                      double* position2, double* position3);
/** Earlier position calibrations of a laser; only while idle.
 * @param connection handle.
 * @param laserIndex the laser's number.
 * @param entries array of at least @p requestWord entries; may be null when
 *        @p requestWord is 0.
 * @param requestWord passed to the scanner, and the capacity of
 *        @p entries: at most that many entries are written, further ones
 *        are read and dropped.
 * @return the number of entries written; or the scanner's own count when it
 *         is 0 or negative (nothing written), which may equal a code below.
 * @retval KELO_ERROR_ARGUMENT null handle, or null entries with a non-zero
 *         @p requestWord.
 * @retval KELO_ERROR_STATE the connection is synchronised; nothing sent.
 * @retval KELO_ERROR_IO the exchange failed; entries before the failure are
 *         written. */
KELO_API int32_t KELO_CALL lpReadOldPositionCalibrationsN(ScannerConnection* connection,
                                                          uint32_t laserIndex,
                                                          OldPositionCalibration* entries,
                                                          uint32_t requestWord);
/** A laser's fourteen transform parameters from the store; no traffic.
 * @param connection handle.
 * @param laserIndex the laser's number.
 * @param p1 receives parameter 1.
 * @param p2 receives parameter 2.
 * @param p3 receives parameter 3.
 * @param p4 receives parameter 4.
 * @param p5 receives parameter 5.
 * @param p6 receives parameter 6.
 * @param p7 receives parameter 7.
 * @param p8 receives parameter 8.
 * @param p9 receives parameter 9.
 * @param p10 receives parameter 10.
 * @param p11 receives parameter 11.
 * @param p12 receives parameter 12.
 * @param p13 receives parameter 13.
 * @param p14 receives parameter 14.
 * @retval KELO_OK written.
 * @retval KELO_ERROR_ARGUMENT null handle or output.
 * @retval KELO_ERROR_STATE the laser is not in the store (not retrieved). */
KELO_API int32_t KELO_CALL lpGetTransformParametersN(
    ScannerConnection* connection, int32_t laserIndex, double* p1, double* p2, double* p3,
    double* p4, double* p5, double* p6, double* p7, double* p8, double* p9, double* p10,
    double* p11, double* p12, double* p13, double* p14);

KELO_END_DECLS

#endif
