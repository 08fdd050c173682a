// SPDX-License-Identifier: Apache-2.0
// Status description texts, into a buffer of exactly maxLength + 1 bytes.
#include <cstdint>
#include <cstring>
#include <memory>

#include "fed_connection.h"
#include "kelo_dll/status.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto input = kelo::fuzz::select(data, size, 1);
    kelo::fuzz::FedConnection fed(input);
    ScannerConnection* c = fed.connection();
    if (c == nullptr) return 0;
    const std::uint32_t maxLength = input.option;
    std::unique_ptr<char[]> text(new char[maxLength + 1]);
    std::memset(text.get(), 'x', maxLength + 1);
    if (lpGetStatusDescriptionFromScanner(c, 7, text.get(), maxLength) == 0 &&
        std::memchr(text.get(), 0, maxLength + 1) == nullptr) {
        __builtin_trap();  // a stored description must be terminated
    }
    return 0;
}
