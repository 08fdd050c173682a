// Draining the answers still owed to a connection, and their count.
#include "acquisition/outstanding_requests.h"

#include <cstdint>

#include "core/scanner_connection.h"
#include "core/transport.h"
#include "core/wire.h"
#include "kelo_dll/profiles.h"

namespace {

// Answers are skipped by their length word alone, in pieces of this size.
constexpr std::uint32_t kDrainChunk = 1024;

}  // namespace

extern "C" {

KELO_API int32_t KELO_CALL lpCleanUpOutstandingRequests(ScannerConnection* connection) {
    if (connection == nullptr) return KELO_ERROR_ARGUMENT;
    std::uint8_t scratch[kDrainChunk];
    while (connection->outstandingRequests != 0) {
        std::uint8_t headerBytes[kelo::wire::kHeaderSize];
        if (kelo::receiveExactDefault(connection->socket, headerBytes, sizeof headerBytes) != 0) {
            return KELO_ERROR_IO;
        }
        // The length is taken as signed: a negative one skips nothing.
        auto remaining =
            static_cast<std::int32_t>(kelo::wire::parseAnswerHeader(headerBytes).length);
        while (remaining > 0) {
            const std::uint32_t piece =
                remaining < std::int32_t(kDrainChunk) ? std::uint32_t(remaining) : kDrainChunk;
            if (kelo::receiveExactDefault(connection->socket, scratch, piece) != 0) {
                return KELO_ERROR_IO;
            }
            remaining -= static_cast<std::int32_t>(piece);
        }
        kelo::uncountRequest(connection);
    }
    return KELO_OK;
}

KELO_API int32_t KELO_CALL lpGetNumberOfOutstandingRequests(ScannerConnection* connection) {
    if (connection == nullptr) return KELO_ERROR_ARGUMENT;
    return static_cast<int32_t>(connection->outstandingRequests);
}

}  // extern "C"
