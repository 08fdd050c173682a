// SPDX-License-Identifier: Apache-2.0
// The firmware confirmation: the 8-byte answer read after an upload with
// or without its trailer. The result follows from the input alone: only
// the first bytes 14 00 00 00 confirm, and an answer cut short fails.
#include <cstdint>
#include <cstring>

#include "fed_connection.h"
#include "kelo_dll/firmware.h"

namespace {
constexpr std::size_t kAnswerSize = 8;
constexpr std::uint8_t kConfirmed[4] = {0x14, 0x00, 0x00, 0x00};
const std::uint8_t kImage[255] = {0x5A};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto input = kelo::fuzz::select(data, size, 2);
    kelo::fuzz::FedConnection fed(input);
    ScannerConnection* c = fed.connection();
    if (c == nullptr) return 0;
    const std::uint32_t version =
        input.choice == 0 ? KELO_FIRMWARE_TRAILER_VERSION - 1 : KELO_FIRMWARE_TRAILER_VERSION;
    const int32_t result = lpSendScannerFirmwareUpdate(c, kImage, input.option, version);
    const int32_t expected = input.size < kAnswerSize ? KELO_ERROR_IO
                             : std::memcmp(input.data, kConfirmed, sizeof kConfirmed) == 0
                                 ? KELO_OK
                                 : KELO_ERROR_STATE;
    if (result != expected) __builtin_trap();
    return 0;
}
