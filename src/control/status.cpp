// SPDX-License-Identifier: Apache-2.0
// Status values fetched into the connection, lookups, and descriptions.
#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "core/call_outcome.h"
#include "core/command_codes.h"
#include "core/scanner_connection.h"
#include "core/transport.h"
#include "core/wire.h"
#include "kelo_dll/status.h"

namespace {

constexpr std::size_t kPairSize = 2 * kelo::wire::kWordSize;

// Answer header (ignored) and the count of pairs.
int32_t fetchStatus(ScannerConnection* connection) {
    const kelo::Link s = connection->link();
    if (kelo::sendCommand(s, kelo::wire::buildCommand(kelo::kCmdScannerStatus)) != 0) {
        return KELO_ERROR_IO;
    }
    std::uint8_t head[kelo::wire::kHeaderSize + kelo::wire::kWordSize];
    if (kelo::receiveExactDefault(s, head, sizeof head) != kelo::kReceiveOk) return KELO_ERROR_IO;
    const auto count = static_cast<std::int32_t>(kelo::wire::getWord(head + kelo::wire::kHeaderSize));
    // A negative or implausible count cannot be held; the list is refused.
    if (count < 0 || count > KELO_STATUS_MAX_VALUES) return kelo::answerTooLong(connection, count);
    if (count == 0) return KELO_OK;

    std::vector<std::uint8_t> pairs;
    try {
        pairs.resize(static_cast<std::size_t>(count) * kPairSize);
    } catch (const std::bad_alloc&) {
        return kelo::answerTooLong(connection, count);
    }
    if (kelo::receiveExactDefault(s, pairs.data(), static_cast<std::uint32_t>(pairs.size())) !=
        kelo::kReceiveOk) {
        return KELO_ERROR_IO;
    }
    try {
        for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i) {
            const std::uint8_t* pair = pairs.data() + i * kPairSize;
            // emplace keeps the first pair of a repeated key.
            connection->statusValues.emplace(
                static_cast<std::int32_t>(kelo::wire::getWord(pair)),
                static_cast<std::int32_t>(kelo::wire::getWord(pair + kelo::wire::kWordSize)));
        }
    } catch (const std::bad_alloc&) {
        connection->statusValues.clear();
        return kelo::answerTooLong(connection, count);
    }
    return KELO_OK;
}

}  // namespace

extern "C" {

KELO_API int32_t KELO_CALL lpGetScannerStatusFromScanner(ScannerConnection* connection) {
    if (!kelo::beginCall(connection)) return KELO_ERROR_ARGUMENT;
    if (connection->synchronised()) return kelo::refuse(connection, KELO_ERROR_STATE);
    connection->statusValues.clear();
    const int32_t result = fetchStatus(connection);
    if (result != KELO_OK) connection->statusValues.clear();
    return result;
}

KELO_API int32_t KELO_CALL lpGetScannerStatusValue(ScannerConnection* connection, uint32_t key,
                                                   int32_t* value) {
    if (!kelo::beginCall(connection, value)) return KELO_ERROR_ARGUMENT;
    if (key > connection->statusValues.size()) return kelo::refuse(connection, KELO_ERROR_ARGUMENT);
    const auto it = connection->statusValues.find(static_cast<std::int32_t>(key));
    if (it == connection->statusValues.end()) return kelo::refuse(connection, KELO_ERROR_ARGUMENT);
    *value = it->second;
    return KELO_OK;
}

KELO_API int32_t KELO_CALL lpGetStatusDescriptionFromScanner(ScannerConnection* connection,
                                                             uint32_t id, char* text,
                                                             uint32_t maxLength) {
    if (!kelo::beginCall(connection, text)) return KELO_ERROR_ARGUMENT;
    if (connection->synchronised()) return kelo::refuse(connection, KELO_ERROR_STATE);
    const kelo::Link s = connection->link();
    if (kelo::sendCommand(s, kelo::wire::buildCommand(kelo::kCmdStatusDescription, id)) != 0) {
        return KELO_ERROR_IO;
    }
    std::uint8_t head[kelo::wire::kHeaderSize + kelo::wire::kWordSize];
    if (kelo::receiveExactDefault(s, head, sizeof head) != kelo::kReceiveOk) return KELO_ERROR_IO;
    const std::uint32_t length = kelo::wire::getWord(head + kelo::wire::kHeaderSize);
    if (length > KELO_STATUS_MAX_DESCRIPTION) return kelo::answerTooLong(connection, length);

    std::vector<char> received;
    try {
        received.resize(length);
    } catch (const std::bad_alloc&) {
        return kelo::answerTooLong(connection, length);
    }
    if (kelo::receiveExactDefault(s, received.data(), length) != kelo::kReceiveOk) {
        return KELO_ERROR_IO;
    }
    // The text up to its first NUL, never read past what arrived, cut to
    // maxLength and zero-filled over the first maxLength bytes.
    const std::size_t available = std::min<std::size_t>(length, maxLength);
    std::size_t copied = 0;
    if (available > 0) {
        const char* nul = static_cast<const char*>(std::memchr(received.data(), '\0', available));
        copied = nul ? static_cast<std::size_t>(nul - received.data()) : available;
        std::memcpy(text, received.data(), copied);
    }
    std::memset(text + copied, 0, static_cast<std::size_t>(maxLength) - copied);
    text[std::min<std::uint32_t>(length, maxLength)] = '\0';
    return KELO_OK;
}

}  // extern "C"
