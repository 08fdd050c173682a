// SPDX-License-Identifier: Apache-2.0
// The history of earlier position calibrations, into an array exactly as
// large as the capacity the caller passes.
#include <cstdint>
#include <cstring>
#include <memory>

#include "fed_connection.h"
#include "kelo_dll/calibration.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto input = kelo::fuzz::select(data, size, 1);
    kelo::fuzz::FedConnection fed(input);
    ScannerConnection* c = fed.connection();
    if (c == nullptr) return 0;
    const std::uint32_t capacity = input.option % 9;
    std::unique_ptr<OldPositionCalibration[]> entries(new OldPositionCalibration[capacity]);
    const int32_t written = lpReadOldPositionCalibrationsN(c, 0, entries.get(), capacity);
    for (int32_t i = 0; i < written && static_cast<std::uint32_t>(i) < capacity; ++i) {
        // Every text the library stored must end inside its field.
        if (std::memchr(entries[i].text, 0, sizeof entries[i].text) == nullptr) __builtin_trap();
    }
    return 0;
}
