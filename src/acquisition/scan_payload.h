/* SPDX-License-Identifier: Apache-2.0 */
// Receiving an answer payload into a caller's record of fixed capacity.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/transport.h"

namespace kelo {

// Receives length bytes into destination (default time-out per piece) when
// they fit in capacity. A longer payload is read to its end into scratch
// space and dropped, leaving destination untouched and the stream at the
// next answer. 0 stored, -1 too long (noted with the length), or any
// receive failure or time-out.
int receiveBoundedPayload(Link link, void* destination, std::uint32_t length,
                          std::size_t capacity);

}  // namespace kelo
