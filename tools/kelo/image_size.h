/* SPDX-License-Identifier: Apache-2.0 */
// The size of a received camera image: the row length from the image
// record, the number of rows from the header value the scanner puts it in.
#pragma once

#include <cstdint>
#include <string>

#include "kelo_dll.h"

namespace kelo::cli {

// Header value that carries the image's row count.
inline constexpr int kImageRowCountWord = 2;

// The width and height of `image`, with `rows` (when not 0) in place of
// the header's row count. Empty on success; otherwise why the image does
// not fit the record.
std::string imageSize(const ImageRecord& image, std::uint32_t rows, std::uint32_t* width,
                      std::uint32_t* height);

}  // namespace kelo::cli
