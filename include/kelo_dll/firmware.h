/* SPDX-License-Identifier: Apache-2.0 */
/* Firmware update. */
#ifndef KELO_DLL_FIRMWARE_H
#define KELO_DLL_FIRMWARE_H

#include "api.h"

/* From this version number on, an upload carries the trailer DE AD BE EF. */
#define KELO_FIRMWARE_TRAILER_VERSION 577u

KELO_BEGIN_DECLS

/* Sends size bytes of image, in either sync state, and reads the scanner's
 * 8-byte confirmation: 0 confirmed (answer bytes 14 00 00 00 ...), 21 any
 * other answer, -1 send or receive failure, -2 null handle or image, or a
 * size that leaves no room for the trailer in the length word. */
KELO_API int32_t KELO_CALL lpSendScannerFirmwareUpdate(ScannerConnection* connection,
                                                       const uint8_t* image, uint32_t size,
                                                       uint32_t version);

KELO_END_DECLS

#endif
