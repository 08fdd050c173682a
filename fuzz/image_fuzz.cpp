// SPDX-License-Identifier: Apache-2.0
// Image answers, alone and followed by a scan answer (decodeImage, then
// decodeScan), and the pixel accessor on whatever arrived.
#include <cstdint>
#include <memory>

#include "fed_connection.h"
#include "kelo_dll/images.h"

namespace {
// Four megapixels: allocated once, not per input.
ImageRecord* image() {
    static ImageRecord* record = new ImageRecord;
    return record;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto input = kelo::fuzz::select(data, size, 5);
    kelo::fuzz::FedConnection fed(input);
    ScannerConnection* c = fed.connection();
    if (c == nullptr) return 0;
    std::unique_ptr<ScanRecord> scan(new ScanRecord);
    const std::uint32_t laser = input.option;
    int32_t result = 0;
    switch (input.choice) {
        case 0: result = lpGetImage(c, image()); break;
        case 1: result = lpGetImageScan(c, image(), scan.get()); break;
        case 2: result = lpGetImageN(c, laser, image()); break;
        case 3: result = lpGetImageScanN(c, laser, image(), scan.get()); break;
        case 4: result = lpGetDiagnosticImageScan(c, laser, 2, 3, image(), scan.get()); break;
    }
    if (result == 0) {
        // Corners of the image the header describes, and a position past it.
        const std::uint32_t width = image()->rowLength;
        lpGetImagePixel(image(), 0, 0);
        lpGetImagePixel(image(), width ? width - 1 : 0, input.option);
        lpGetImagePixel(image(), width, 0xFFFFFFFFu);
        if (input.choice != 0 && input.choice != 2 && scan->pointCount > KELO_SCAN_MAX_POINTS) {
            __builtin_trap();
        }
    }
    return 0;
}
