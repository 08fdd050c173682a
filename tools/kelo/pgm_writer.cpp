// SPDX-License-Identifier: Apache-2.0
#include "pgm_writer.h"

#include <cstdio>

namespace kelo::cli {

bool writePgm(const std::string& path, const std::uint8_t* pixels, std::uint32_t width,
              std::uint32_t height) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    bool ok = std::fprintf(file, "P5\n%u %u\n255\n", width, height) > 0;
    const std::size_t size = static_cast<std::size_t>(width) * height;
    if (ok && size > 0) ok = std::fwrite(pixels, 1, size, file) == size;
    return std::fclose(file) == 0 && ok;
}

}  // namespace kelo::cli
