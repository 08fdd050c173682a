/* SPDX-License-Identifier: Apache-2.0 */
// The files of kelo view's web page, built into the program (see
// embed_view_assets.cmake), so the page needs nothing from elsewhere.
#pragma once

#include <cstddef>
#include <string>

namespace kelo::cli {

struct ViewAsset {
    const char* path;         // as requested, e.g. "/viewer.js"
    const char* contentType;
    const unsigned char* data;
    std::size_t size;
};

// The asset served at `path`, or null.
const ViewAsset* findViewAsset(const std::string& path);

}  // namespace kelo::cli
