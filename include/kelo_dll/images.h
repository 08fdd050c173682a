/* SPDX-License-Identifier: Apache-2.0 */
/** @file
 * Camera images, alone or followed by a scan, read while the connection is
 * idle. Like scans, an image request takes the next answer on the
 * connection as its own. */
#ifndef KELO_DLL_IMAGES_H
#define KELO_DLL_IMAGES_H

#include "api.h"
#include "scans.h"

/** Pixels an ImageRecord holds (four megapixels, e.g. 2048 x 2048). A longer
 * image is read to its end, dropped and gives ::KELO_ERROR_IO. */
#define KELO_IMAGE_MAX_PIXELS (2048u * 2048u)
/** Bytes of an image's header: five 32-bit words. */
#define KELO_IMAGE_HEADER_SIZE 20

KELO_BEGIN_DECLS

#pragma pack(push, 1)

/** One camera image: five header words in host order, then one byte per
 * pixel, row after row, exactly as received. At about 4 MiB it must not go
 * on a thread's stack (1 MiB by default on Windows): allocate it (malloc,
 * new) or make it static. */
typedef struct ImageRecord {
    /** Header words 0 to 2, defined by the scanner. */
    int32_t header[3];
    /** Pixels in one row; the pixel at column c of row r is
     * pixels[rowLength * r + c]. */
    uint32_t rowLength;
    /** Header word 4, defined by the scanner. */
    int32_t header4;
    /** The pixels, 0 to 255 each. */
    uint8_t pixels[KELO_IMAGE_MAX_PIXELS];
} ImageRecord;

#pragma pack(pop)

KELO_STATIC_ASSERT(sizeof(ImageRecord) == KELO_IMAGE_HEADER_SIZE + KELO_IMAGE_MAX_PIXELS,
                   "ImageRecord must be five header words and the pixels, unpadded");

/** Asks for a camera image and reads it; only while idle. Each wait for a
 * piece of the answer lasts at most ::KELO_DEFAULT_TIMEOUT_MS.
 * @param connection handle.
 * @param image where the image is stored.
 * @retval KELO_OK the image was stored.
 * @retval KELO_ERROR_ARGUMENT null handle or record.
 * @retval KELO_ERROR_STATE the connection is synchronised; nothing sent.
 * @retval KELO_ERROR_IO send or receive failure, time-out, an answer of
 *         another type, or an image too large for the record. */
KELO_API int32_t KELO_CALL lpGetImage(ScannerConnection* connection, ImageRecord* image);
/** Asks for a camera image of one laser and reads it, as lpGetImage() does.
 * @param connection handle.
 * @param laser the laser's number, passed to the scanner.
 * @param image where the image is stored.
 * @return the results of lpGetImage(). */
KELO_API int32_t KELO_CALL lpGetImageN(ScannerConnection* connection, uint32_t laser,
                                       ImageRecord* image);
/** Asks for a camera image and a scan and reads both; only while idle.
 * After a failed image the scan is not read; after a failed scan the image
 * is complete but the result is ::KELO_ERROR_IO.
 * @param connection handle.
 * @param image where the image is stored.
 * @param scan where the scan is stored.
 * @retval KELO_OK image and scan stored.
 * @retval KELO_ERROR_ARGUMENT null handle or record.
 * @retval KELO_ERROR_STATE the connection is synchronised; nothing sent.
 * @retval KELO_ERROR_IO send or receive failure, time-out, an answer of
 *         another type, or an answer too large for its record. */
KELO_API int32_t KELO_CALL lpGetImageScan(ScannerConnection* connection, ImageRecord* image,
                                          ScanRecord* scan);
/** lpGetImageScan() for one laser.
 * @param connection handle.
 * @param laser the laser's number, passed to the scanner.
 * @param image where the image is stored.
 * @param scan where the scan is stored.
 * @return the results of lpGetImageScan(). */
KELO_API int32_t KELO_CALL lpGetImageScanN(ScannerConnection* connection, uint32_t laser,
                                           ImageRecord* image, ScanRecord* scan);
/** lpGetImageScan() in its diagnostic form.
 * @param connection handle.
 * @param value1 first value of the request, the scanner's; sent as given.
 * @param value2 second value of the request.
 * @param value3 third value of the request.
 * @param image where the image is stored.
 * @param scan where the scan is stored.
 * @return the results of lpGetImageScan(). */
KELO_API int32_t KELO_CALL lpGetDiagnosticImageScan(ScannerConnection* connection,
                                                    uint32_t value1, uint32_t value2,
                                                    uint32_t value3, ImageRecord* image,
                                                    ScanRecord* scan);

/** One pixel of an image; nothing is sent.
 * @param image the image, or null.
 * @param column from 0 to rowLength - 1.
 * @param row the row.
 * @return the pixel, 0 to 255; 0 for a null image, a column not below
 *         rowLength, or a position outside the record. */
KELO_API uint32_t KELO_CALL lpGetImagePixel(const ImageRecord* image, uint32_t column,
                                            uint32_t row);

KELO_END_DECLS

#endif
