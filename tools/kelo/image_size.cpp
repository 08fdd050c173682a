// SPDX-License-Identifier: Apache-2.0
#include "image_size.h"

namespace kelo::cli {

std::string imageSize(const ImageRecord& image, std::uint32_t rows, std::uint32_t* width,
                      std::uint32_t* height) {
    const std::uint32_t w = image.rowLength;
    const std::int64_t h = rows != 0 ? rows : image.header[kImageRowCountWord];
    if (w == 0 || h <= 0 ||
        static_cast<std::uint64_t>(w) * static_cast<std::uint64_t>(h) > KELO_IMAGE_MAX_PIXELS) {
        return "the image header gives " + std::to_string(w) + " x " + std::to_string(h) +
               " pixels, which does not fit the record";
    }
    *width = w;
    *height = static_cast<std::uint32_t>(h);
    return {};
}

}  // namespace kelo::cli
