/* SPDX-License-Identifier: Apache-2.0 */
/* Camera images, alone or followed by a scan, read while the connection is idle. */
#ifndef KELO_DLL_IMAGES_H
#define KELO_DLL_IMAGES_H

#include "api.h"
#include "scans.h"

/* Pixels an ImageRecord holds (four megapixels, e.g. 2048 x 2048). A longer
 * image is read to its end, dropped and gives -1. */
#define KELO_IMAGE_MAX_PIXELS (2048u * 2048u)
#define KELO_IMAGE_HEADER_SIZE 20

KELO_BEGIN_DECLS

#pragma pack(push, 1)

/* One image: five header words in host order (the fourth is the row length
 * in pixels, the others are the scanner's), then one byte per pixel, row
 * after row, exactly as received. At about 4 MiB it must not go on a
 * thread's stack (1 MiB by default on Windows): allocate it (malloc, new)
 * or make it static. */
typedef struct ImageRecord {
    int32_t header[3];
    uint32_t rowLength;
    int32_t header4;
    uint8_t pixels[KELO_IMAGE_MAX_PIXELS];
} ImageRecord;

#pragma pack(pop)

KELO_STATIC_ASSERT(sizeof(ImageRecord) == KELO_IMAGE_HEADER_SIZE + KELO_IMAGE_MAX_PIXELS,
                   "ImageRecord must be five header words and the pixels, unpadded");

/* Only while idle: 0 stored, -2 null argument, 21 synchronised (nothing
 * sent), -1 send or receive failure, time-out, wrong answer type or an
 * answer too large for its record. The scan forms read the image answer,
 * then the scan answer; after a failed image the scan is not read. */
KELO_API int32_t KELO_CALL lpGetImage(ScannerConnection* connection, ImageRecord* image);
KELO_API int32_t KELO_CALL lpGetImageN(ScannerConnection* connection, uint32_t laser,
                                       ImageRecord* image);
KELO_API int32_t KELO_CALL lpGetImageScan(ScannerConnection* connection, ImageRecord* image,
                                          ScanRecord* scan);
KELO_API int32_t KELO_CALL lpGetImageScanN(ScannerConnection* connection, uint32_t laser,
                                           ImageRecord* image, ScanRecord* scan);
KELO_API int32_t KELO_CALL lpGetDiagnosticImageScan(ScannerConnection* connection,
                                                    uint32_t value1, uint32_t value2,
                                                    uint32_t value3, ImageRecord* image,
                                                    ScanRecord* scan);

/* The pixel at column, row (0 to 255); 0 for a null image, a column not
 * below rowLength, or a position outside the record. */
KELO_API uint32_t KELO_CALL lpGetImagePixel(const ImageRecord* image, uint32_t column,
                                            uint32_t row);

KELO_END_DECLS

#endif
