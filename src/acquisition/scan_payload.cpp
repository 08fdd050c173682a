// SPDX-License-Identifier: Apache-2.0
#include "acquisition/scan_payload.h"

#include "core/transport.h"

namespace kelo {

int receiveBoundedPayload(Link link, void* destination, std::uint32_t length,
                          std::size_t capacity) {
    if (length <= capacity) {
        return receiveExactDefault(link, destination, length) == kReceiveOk ? 0 : -1;
    }
    // Too long for the record: read to its end so the stream stays in step.
    noteFailure(link.failure, KELO_FAILURE_TOO_LONG, static_cast<std::int32_t>(length));
    discardExact(link, length, kDefaultTimeoutMs);
    return -1;
}

}  // namespace kelo
