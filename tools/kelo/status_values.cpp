// SPDX-License-Identifier: Apache-2.0
#include "status_values.h"

namespace kelo::cli {

std::vector<StatusValue> heldStatusValues(ScannerConnection* connection, std::uint32_t maxKey) {
    std::vector<StatusValue> values;
    for (std::uint64_t key = 0; key <= maxKey; ++key) {
        std::int32_t value = 0;
        if (lpGetScannerStatusValue(connection, static_cast<std::uint32_t>(key), &value) == KELO_OK) {
            values.push_back({static_cast<std::uint32_t>(key), value});
        }
    }
    return values;
}

std::string statusDescription(ScannerConnection* connection, std::uint32_t id,
                              std::uint32_t maxLength, std::int32_t* result) {
    std::string text(maxLength + std::size_t{1}, '\0');
    *result = lpGetStatusDescriptionFromScanner(connection, id, text.data(), maxLength);
    if (*result != KELO_OK) return {};
    text.resize(text.find('\0'));
    return text;
}

}  // namespace kelo::cli
