/* SPDX-License-Identifier: Apache-2.0 */
// What a failed library call means, in words: from the connection's note of
// why its last call failed (lpGetLastFailure) and the system's text for
// socket and name look-up errors.
#pragma once

#include <cstdint>
#include <string>

#include "kelo_dll.h"
#include "result_text.h"

namespace kelo::cli {

// What the failed call waited for, for the words of its failure.
struct CallContext {
    const char* expected = "the answer";  // e.g. "a profile batch"
    std::int32_t timeoutMs = KELO_DEFAULT_TIMEOUT_MS;
    Refusal meaningOf21 = Refusal::SyncState;
};

// E.g. "no answer within 5000 ms", "the scanner closed the connection",
// "an answer of type 5 where a profile batch was expected",
// "socket error 104 (Connection reset by peer)".
std::string failureText(ScannerConnection* connection, std::int32_t result,
                        const CallContext& context = {});

// "no answer within 5000 ms": a wait that ran out, here or in the library.
std::string noAnswerText(std::int32_t timeoutMs);
// "socket error 111 (Connection refused)", with the system's own text.
std::string socketErrorText(std::int32_t error);
// The system's text for a socket error (strerror, FormatMessage on
// Windows), or the resolver's for a failed name look-up.
std::string systemErrorText(std::int32_t error);
// Whether lpGetLastSocketError holds the error of a failed name look-up.
bool isLookupError(std::int32_t error);

}  // namespace kelo::cli
