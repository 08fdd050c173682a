// SPDX-License-Identifier: Apache-2.0
#include "acquisition/scan_payload.h"

#include "core/transport.h"

namespace kelo {

int receiveBoundedPayload(net::Socket s, void* destination, std::uint32_t length,
                          std::size_t capacity) {
    if (length <= capacity) {
        return receiveExactDefault(s, destination, length) == kReceiveOk ? 0 : -1;
    }
    // Too long for the record: read to its end so the stream stays in step.
    discardExact(s, length, kDefaultTimeoutMs);
    return -1;
}

}  // namespace kelo
