// SPDX-License-Identifier: Apache-2.0
// Uploading a parameter set (command 18) and reading the scanner's verdict.
#include "config/parameter_upload.h"

#include <cstring>
#include <limits>
#include <new>
#include <string>

#include "config/counted_string.h"
#include "core/call_outcome.h"
#include "core/command_codes.h"
#include "core/scanner_connection.h"
#include "core/transport.h"
#include "core/wire.h"
#include "kelo_dll/parameters.h"

extern "C" {

KELO_API int32_t KELO_CALL lpBeginSendParametersToScanner(ScannerConnection* connection,
                                                          const char* text) {
    if (!kelo::beginCall(connection, text)) return KELO_ERROR_ARGUMENT;
    if (connection->synchronised()) return kelo::refuse(connection, KELO_ERROR_STATE);
    const std::size_t length = std::strlen(text);
    // The length word is 32 bits; a longer text cannot be framed.
    if (length > std::numeric_limits<std::uint32_t>::max()) return kelo::refuse(connection, KELO_ERROR_ARGUMENT);
    connection->errorMessages.clear();
    const auto header =
        kelo::wire::buildHeader(kelo::kCmdSendParameters, static_cast<std::uint32_t>(length));
    if (kelo::sendAll(connection->link(), header.data(), kelo::wire::kHeaderSize) != 0)
        return KELO_ERROR_IO;
    // The text leaves straight from the caller's buffer.
    if (kelo::sendAll(connection->link(), text, static_cast<std::uint32_t>(length)) != 0)
        return KELO_ERROR_IO;
    return KELO_OK;
}

KELO_API int32_t KELO_CALL lpEndSendParametersToScanner(ScannerConnection* connection) {
    if (!kelo::beginCall(connection)) return KELO_ERROR_ARGUMENT;
    if (connection->synchronised()) return kelo::refuse(connection, KELO_ERROR_STATE);
    const kelo::Link s = connection->link();
    std::uint8_t headerBytes[kelo::wire::kHeaderSize];
    if (kelo::receiveExactDefault(s, headerBytes, sizeof headerBytes) != kelo::kReceiveOk)
        return KELO_ERROR_IO;
    // Any other type is acceptance; its length word is not used.
    if (kelo::wire::parseAnswerHeader(headerBytes).type != kelo::kAnswerParameterErrors)
        return KELO_OK;
    std::uint8_t countBytes[kelo::wire::kWordSize];
    if (kelo::receiveExactDefault(s, countBytes, sizeof countBytes) != kelo::kReceiveOk)
        return KELO_ERROR_IO;
    const auto count = static_cast<std::int32_t>(kelo::wire::getWord(countBytes));
    if (count < 1) return kelo::refuse(connection, KELO_ERROR_STATE);
    if (count > kelo::kMaxErrorMessages) return kelo::answerTooLong(connection, count);
    std::size_t held = 0;
    for (const std::string& kept : connection->errorMessages) held += kept.size();
    bool overflowed = false;
    for (std::int32_t i = 0; i < count; ++i) {
        if (overflowed) {
            // Past the bound the rest of the answer is read and dropped, so
            // the connection stays in step with the scanner.
            if (kelo::skipCountedString(s) != 0) return KELO_ERROR_IO;
            continue;
        }
        std::string message;
        if (kelo::readCountedString(s, message) != 0) return KELO_ERROR_IO;
        held += message.size();
        if (held > kelo::kMaxErrorMessageBytes) {
            overflowed = true;
            continue;
        }
        try {
            connection->errorMessages.push_back(std::move(message));
        } catch (const std::bad_alloc&) {
            return kelo::outOfMemory(connection);
        }
    }
    if (overflowed) return kelo::answerTooLong(connection, static_cast<std::int64_t>(held));
    return kelo::refuse(connection, KELO_ERROR_STATE);
}

KELO_API int32_t KELO_CALL lpSendParametersToScanner(ScannerConnection* connection,
                                                     const char* text) {
    const int32_t begun = lpBeginSendParametersToScanner(connection, text);
    if (begun != KELO_OK) return begun;
    return lpEndSendParametersToScanner(connection);
}

}  // extern "C"
