/* SPDX-License-Identifier: Apache-2.0 */
/** @file
 * Firmware update. */
#ifndef KELO_DLL_FIRMWARE_H
#define KELO_DLL_FIRMWARE_H

#include "api.h"

/** From this version number on, an upload carries the trailer DE AD BE EF. */
#define KELO_FIRMWARE_TRAILER_VERSION 577u

KELO_BEGIN_DECLS

/** Sends a firmware image, in either sync state, and reads the scanner's
 * 8-byte confirmation. The image is sent as it is, without a copy.
 * @param connection handle.
 * @param image the image's bytes.
 * @param size bytes of @p image; 0 is allowed.
 * @param version decides the framing only: from
 *        ::KELO_FIRMWARE_TRAILER_VERSION on, the upload ends in a trailer.
 * @retval KELO_OK the scanner confirmed the update (answer bytes
 *         14 00 00 00 ...).
 * @retval KELO_ERROR_STATE the scanner answered anything else.
 * @retval KELO_ERROR_ARGUMENT null handle or image, or a size that leaves
 *         no room for the trailer in the 32-bit length.
 * @retval KELO_ERROR_IO a send or the receive failed (time-out included);
 *         the update may still complete on the scanner. */
KELO_API int32_t KELO_CALL lpSendScannerFirmwareUpdate(ScannerConnection* connection,
                                                       const uint8_t* image, uint32_t size,
                                                       uint32_t version);

KELO_END_DECLS

#endif
