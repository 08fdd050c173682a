// Waiting for the next answer without reading it: a program that waits in
// short slices (to stay responsive to a stop) keeps every owed answer
// counted, where a read that times out would already have given one up.
#include "core/call_outcome.h"
#include "core/scanner_connection.h"
#include "core/transport.h"
#include "kelo_dll/extensions.h"

extern "C" {

KELO_API int32_t KELO_CALL lpWaitForAnswer(ScannerConnection* connection, int32_t timeoutMs) {
    if (!kelo::beginCall(connection)) return KELO_ERROR_ARGUMENT;
    if (timeoutMs < 0) return kelo::refuse(connection, KELO_ERROR_ARGUMENT);
    const kelo::Link link = connection->link();
    std::uint8_t first = 0;
    long peeked = kelo::net::peekAvailable(link.socket, &first, 1);
    if (peeked == kelo::net::kWouldBlockResult) {
        const int waited = kelo::waitReadable(link, timeoutMs);
        if (waited != kelo::kReceiveOk) return waited;
        peeked = kelo::net::peekAvailable(link.socket, &first, 1);
        // Readable, yet nothing to take: as good as nothing within the time.
        if (peeked == kelo::net::kWouldBlockResult) {
            kelo::noteFailure(link.failure, KELO_FAILURE_TIMEOUT);
            return KELO_ERROR_TIMEOUT;
        }
    }
    if (peeked <= 0) return kelo::noteReceiveFailure(link, peeked);
    return KELO_OK;
}

}  // extern "C"
