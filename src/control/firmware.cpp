// SPDX-License-Identifier: Apache-2.0
// Firmware upload: header, image and optional trailer, then the 8-byte answer.
#include <cstring>

#include "core/call_outcome.h"
#include "core/command_codes.h"
#include "core/scanner_connection.h"
#include "core/transport.h"
#include "core/wire.h"
#include "kelo_dll/firmware.h"

namespace {

constexpr std::uint32_t kFirmwareTrailer = 0xDEADBEEFu;
// The scanner confirms with the word 20 in little-endian order; the bytes
// are compared as they arrive, so the test is the same on every host.
constexpr std::uint8_t kFirmwareAccepted[kelo::wire::kWordSize] = {0x14, 0x00, 0x00, 0x00};

}  // namespace

extern "C" {

KELO_API int32_t KELO_CALL lpSendScannerFirmwareUpdate(ScannerConnection* connection,
                                                       const uint8_t* image, uint32_t size,
                                                       uint32_t version) {
    if (!kelo::beginCall(connection, image)) return KELO_ERROR_ARGUMENT;
    const bool withTrailer = version >= KELO_FIRMWARE_TRAILER_VERSION;
    // The length word would wrap and announce a few bytes for a huge upload.
    if (withTrailer && size > UINT32_MAX - kelo::wire::kWordSize) {
        return kelo::refuse(connection, KELO_ERROR_ARGUMENT);
    }

    const kelo::Link s = connection->link();
    const std::uint32_t length =
        withTrailer ? size + static_cast<std::uint32_t>(kelo::wire::kWordSize) : size;
    const auto header = kelo::wire::buildHeader(kelo::kCmdFirmwareUpdate, length);
    if (kelo::sendAll(s, header.data(), static_cast<std::uint32_t>(header.size())) != 0) {
        return KELO_ERROR_IO;
    }
    if (kelo::sendAll(s, image, size) != 0) return KELO_ERROR_IO;
    if (withTrailer) {
        std::uint8_t trailer[kelo::wire::kWordSize];
        kelo::wire::putWord(trailer, kFirmwareTrailer);
        if (kelo::sendAll(s, trailer, sizeof trailer) != 0) return KELO_ERROR_IO;
    }

    std::uint8_t answer[kelo::wire::kHeaderSize];
    if (kelo::receiveExactDefault(s, answer, sizeof answer) != kelo::kReceiveOk) {
        return KELO_ERROR_IO;
    }
    if (std::memcmp(answer, kFirmwareAccepted, sizeof kFirmwareAccepted) != 0) {
        return kelo::refuse(connection, KELO_ERROR_STATE);
    }
    return KELO_OK;
}

}  // extern "C"
