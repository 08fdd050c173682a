// SPDX-License-Identifier: Apache-2.0
#include "failure_text.h"

namespace kelo::cli {

std::string failureText(ScannerConnection* connection, std::int32_t result,
                        const CallContext& context) {
    const std::int32_t detail = lpGetLastFailureDetail(connection);
    switch (lpGetLastFailure(connection)) {
        case KELO_FAILURE_TIMEOUT:
            return noAnswerText(context.timeoutMs);
        case KELO_FAILURE_CLOSED:
            return "the scanner closed the connection";
        case KELO_FAILURE_SOCKET:
            return socketErrorText(lpGetLastSocketError());
        case KELO_FAILURE_WRONG_TYPE:
            return "an answer of type " + std::to_string(detail) + " where " + context.expected +
                   " was expected";
        case KELO_FAILURE_TOO_LONG:
            return "an answer announcing " + std::to_string(detail) +
                   " (bytes or entries), more than its record holds";
        default:
            // Refusals, and the results that are no failure of the exchange (-3).
            return resultText(result, context.meaningOf21);
    }
}

std::string noAnswerText(std::int32_t timeoutMs) {
    return "no answer within " + std::to_string(timeoutMs) + " ms";
}

std::string socketErrorText(std::int32_t error) {
    return "socket error " + std::to_string(error) + " (" + systemErrorText(error) + ")";
}

}  // namespace kelo::cli
