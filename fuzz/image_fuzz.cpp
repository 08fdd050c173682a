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
    const auto input = kelo::fuzz::select(data, size, 2);
    kelo::fuzz::FedConnection fed(input.data, input.size);
    ScannerConnection* c = fed.connection();
    if (c == nullptr) return 0;
    std::unique_ptr<ScanRecord> scan(new ScanRecord);
    const int32_t result =
        input.choice == 0 ? lpGetImage(c, image()) : lpGetImageScan(c, image(), scan.get());
    if (result == 0) {
        // Corners of the image the header describes, and a position past it.
        const std::uint32_t width = image()->rowLength;
        lpGetImagePixel(image(), 0, 0);
        lpGetImagePixel(image(), width ? width - 1 : 0, input.option);
        lpGetImagePixel(image(), width, 0xFFFFFFFFu);
    }
    return 0;
}
