// SPDX-License-Identifier: Apache-2.0
// The status list and its lookups.
#include <cstdint>

#include "fed_connection.h"
#include "kelo_dll/status.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto input = kelo::fuzz::select(data, size, 1);
    kelo::fuzz::FedConnection fed(input);
    ScannerConnection* c = fed.connection();
    if (c == nullptr) return 0;
    lpGetScannerStatusFromScanner(c);
    int32_t value = 0;
    for (std::uint32_t key = 0; key <= input.option; ++key) lpGetScannerStatusValue(c, key, &value);
    lpGetScannerStatusValue(c, 0xFFFFFFFFu, &value);
    return 0;
}
