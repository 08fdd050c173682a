/* SPDX-License-Identifier: Apache-2.0 */
// How a call on a connection starts and how it is refused, so that the
// connection can tell why its last call failed (lpGetLastFailure).
#pragma once

#include <cstdint>

#include "core/scanner_connection.h"

namespace kelo {

// Starts a call: clears the connection's failure note. False for a null
// handle or a null pointer argument (noted as a refusal on the connection).
template <typename... Pointers>
bool beginCall(ScannerConnection* connection, const Pointers*... arguments) {
    if (connection == nullptr) return false;
    connection->failure = Failure{};
    if (((arguments == nullptr) || ...)) {
        noteFailure(&connection->failure, KELO_FAILURE_REFUSED);
        return false;
    }
    return true;
}

// A call refused with -2 or 21: noted, and the result given back.
inline std::int32_t refuse(ScannerConnection* connection, std::int32_t result) {
    noteFailure(&connection->failure, KELO_FAILURE_REFUSED);
    return result;
}

// An answer refused for its size, or for a count beyond what the library
// holds: noted with the length or count it announced; gives -1.
inline std::int32_t answerTooLong(ScannerConnection* connection, std::int64_t announced) {
    noteFailure(&connection->failure, KELO_FAILURE_TOO_LONG, static_cast<std::int32_t>(announced));
    return KELO_ERROR_IO;
}

// Memory ran out: noted as a socket error, "no buffer space"; gives -1.
inline std::int32_t outOfMemory(ScannerConnection* connection) {
    net::setLastError(net::kErrorNoBuffers);
    noteFailure(&connection->failure, KELO_FAILURE_SOCKET);
    return KELO_ERROR_IO;
}

}  // namespace kelo
