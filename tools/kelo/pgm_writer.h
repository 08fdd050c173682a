/* SPDX-License-Identifier: Apache-2.0 */
// Greyscale images as binary PGM (P5), one byte per pixel.
#pragma once

#include <cstdint>
#include <string>

namespace kelo::cli {

// Writes width x height pixels, row after row; false when the file cannot
// be written.
bool writePgm(const std::string& path, const std::uint8_t* pixels, std::uint32_t width,
              std::uint32_t height);

}  // namespace kelo::cli
