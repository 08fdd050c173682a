/* SPDX-License-Identifier: Apache-2.0 */
/* Calibration: the per-laser store, intrinsic and position uploads, the
 * position history, transform parameters and scan windows. */
#ifndef KELO_DLL_CALIBRATION_H
#define KELO_DLL_CALIBRATION_H

#include "api.h"

#define KELO_POSITION_VALUES 3
#define KELO_TRANSFORM_VALUES 14
#define KELO_OLD_POSITION_TEXT_SIZE 32

KELO_BEGIN_DECLS

#pragma pack(push, 1)

/* One earlier position calibration: its three values and its text (the
 * date line of its upload), always zero-terminated, at most 31 characters. */
typedef struct OldPositionCalibration {
    double position[KELO_POSITION_VALUES];
    char text[KELO_OLD_POSITION_TEXT_SIZE];
} OldPositionCalibration;

#pragma pack(pop)

KELO_STATIC_ASSERT(sizeof(OldPositionCalibration) == 56,
                   "OldPositionCalibration must be 56 bytes");

/* Fetches laser 0's calibration and then that of every further laser the
 * scanner reports (at most three lasers) into the connection's store.
 * 0 done, -1 an exchange failed, -2 null handle. */
KELO_API int32_t KELO_CALL lpRetrieveCalibrationValues(ScannerConnection* connection);
/* Laser 0's laser count from the store; 21 before any retrieval, -2 null. */
KELO_API int32_t KELO_CALL lpGetLaserCount(ScannerConnection* connection);
/* Laser 0's scan window from the store, in the order 0, 2, 3, 1 of the
 * received window words, each divided by 1000. 0, -2 null, 21 not held. */
KELO_API int32_t KELO_CALL lpGetScanWindow(ScannerConnection* connection, double* out1,
                                           double* out2, double* out3, double* out4);
/* One laser's scan window straight from the scanner, in thousandths, in
 * the received order; only while idle. 0, -2, 21 synchronised, -1. */
KELO_API int32_t KELO_CALL lpReadScanWindowN(ScannerConnection* connection, uint32_t laserIndex,
                                             int32_t* out1, int32_t* out2, int32_t* out3,
                                             int32_t* out4);

/* Uploads fourteen intrinsic calibration values (ten significant digits
 * each); sent in either sync state, no answer. 0 sent, -2 null, -1. */
KELO_API int32_t KELO_CALL lpSendIntrinsicCalibrationN(
    ScannerConnection* connection, uint32_t laserIndex, double p1, double p2, double p3,
    double p4, double p5, double p6, double p7, double p8, double p9, double p10, double p11,
    double p12, double p13, double p14);
/* The same for laser 0. */
KELO_API int32_t KELO_CALL lpSendIntrinsicCalibration(ScannerConnection* connection, double p1,
                                                      double p2, double p3, double p4,
                                                      double p5, double p6, double p7,
                                                      double p8, double p9, double p10,
                                                      double p11, double p12, double p13,
                                                      double p14);

/* Uploads a laser's three position values stamped with the local date and
 * time; only while idle, no answer. 0 sent, -2 null, 21 synchronised, -1. */
KELO_API int32_t KELO_CALL lpSendPositionCalibrationN(ScannerConnection* connection,
                                                      uint32_t laserIndex, double position1,
                                                      double position2, double position3);
/* A laser's current position values from the scanner; only while idle.
 * 0, -2 null argument, 21 synchronised, -1. The store is not touched. */
KELO_API int32_t KELO_CALL lpReadPositionCalibrationN(ScannerConnection* connection,
                                                      uint32_t laserIndex, double* position1,
                                                      double* position2, double* position3);
/* Earlier position calibrations of a laser; only while idle. requestWord
 * is passed to the scanner and is also the capacity of entries: at most
 * that many entries are written, further ones are read and discarded.
 * Returns the number of entries written, or the scanner's count when it
 * is 0 or negative (nothing written), -2 null argument, 21 synchronised,
 * -1 the exchange failed. */
KELO_API int32_t KELO_CALL lpReadOldPositionCalibrationsN(ScannerConnection* connection,
                                                          uint32_t laserIndex,
                                                          OldPositionCalibration* entries,
                                                          uint32_t requestWord);
/* A laser's fourteen transform parameters from the store. 0, -2 null
 * argument, 21 not held. */
KELO_API int32_t KELO_CALL lpGetTransformParametersN(
    ScannerConnection* connection, int32_t laserIndex, double* p1, double* p2, double* p3,
    double* p4, double* p5, double* p6, double* p7, double* p8, double* p9, double* p10,
    double* p11, double* p12, double* p13, double* p14);

KELO_END_DECLS

#endif
