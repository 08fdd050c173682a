// SPDX-License-Identifier: Apache-2.0
// The image and image-scan requests: one command, then the image answer
// and, for the scan forms, the scan answer that follows it.
#include <cstddef>

#include "acquisition/image_decoder.h"
#include "acquisition/scan_decoder.h"
#include "core/call_outcome.h"
#include "core/command_codes.h"
#include "core/scanner_connection.h"
#include "core/transport.h"
#include "core/wire.h"
#include "kelo_dll/images.h"

namespace {

template <typename CommandT>
int32_t requestImage(ScannerConnection* connection, ImageRecord* image, const CommandT& command) {
    if (!kelo::beginCall(connection, image)) return KELO_ERROR_ARGUMENT;
    if (connection->synchronised()) return kelo::refuse(connection, KELO_ERROR_STATE);
    if (kelo::sendCommand(connection->link(), command) != 0) return KELO_ERROR_IO;
    return kelo::decodeImage(connection->link(), image) == 0 ? KELO_OK : KELO_ERROR_IO;
}

template <typename CommandT>
int32_t requestImageScan(ScannerConnection* connection, ImageRecord* image, ScanRecord* scan,
                         const CommandT& command) {
    if (!kelo::beginCall(connection, image, scan)) return KELO_ERROR_ARGUMENT;
    if (connection->synchronised()) return kelo::refuse(connection, KELO_ERROR_STATE);
    if (kelo::sendCommand(connection->link(), command) != 0) return KELO_ERROR_IO;
    // After a failed image the scan stays unread in the socket.
    if (kelo::decodeImage(connection->link(), image) != 0) return KELO_ERROR_IO;
    return kelo::decodeScan(connection->link(), scan);
}

}  // namespace

extern "C" {

KELO_API int32_t KELO_CALL lpGetImage(ScannerConnection* connection, ImageRecord* image) {
    return requestImage(connection, image, kelo::wire::buildCommand(kelo::kCmdImage));
}

KELO_API int32_t KELO_CALL lpGetImageN(ScannerConnection* connection, uint32_t laser,
                                       ImageRecord* image) {
    return requestImage(connection, image, kelo::wire::buildCommand(kelo::kCmdImageN, laser));
}

KELO_API int32_t KELO_CALL lpGetImageScan(ScannerConnection* connection, ImageRecord* image,
                                          ScanRecord* scan) {
    return requestImageScan(connection, image, scan, kelo::wire::buildCommand(kelo::kCmdImageScan));
}

KELO_API int32_t KELO_CALL lpGetImageScanN(ScannerConnection* connection, uint32_t laser,
                                           ImageRecord* image, ScanRecord* scan) {
    return requestImageScan(connection, image, scan,
                            kelo::wire::buildCommand(kelo::kCmdImageScanN, laser));
}

KELO_API int32_t KELO_CALL lpGetDiagnosticImageScan(ScannerConnection* connection,
                                                    uint32_t value1, uint32_t value2,
                                                    uint32_t value3, ImageRecord* image,
                                                    ScanRecord* scan) {
    return requestImageScan(
        connection, image, scan,
        kelo::wire::buildCommand(kelo::kCmdDiagnosticImageScan, value1, value2, value3));
}

KELO_API uint32_t KELO_CALL lpGetImagePixel(const ImageRecord* image, uint32_t column,
                                            uint32_t row) {
    if (image == nullptr || column >= image->rowLength) return 0;
    // 64-bit arithmetic: a wrapped offset must not land back inside the record.
    const std::uint64_t index = std::uint64_t(image->rowLength) * row + column;
    if (index >= KELO_IMAGE_MAX_PIXELS) return 0;
    return image->pixels[index];
}

}  // extern "C"
