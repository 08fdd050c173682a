/* SPDX-License-Identifier: Apache-2.0 */
// The status values a connection holds after a status fetch, found by
// looking up every key from 0: the library answers lookups only up to the
// number of values it holds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "kelo_dll.h"

namespace kelo::cli {

struct StatusValue {
    std::uint32_t key = 0;
    std::int32_t value = 0;
};

inline constexpr std::uint32_t kDefaultMaxStatusKey = 4095;

// The values held under keys 0 to maxKey, in key order. Sends nothing.
std::vector<StatusValue> heldStatusValues(ScannerConnection* connection,
                                          std::uint32_t maxKey = kDefaultMaxStatusKey);

// The scanner's description of `id`, cut to maxLength characters; empty
// with *result set when the fetch failed.
std::string statusDescription(ScannerConnection* connection, std::uint32_t id,
                              std::uint32_t maxLength, std::int32_t* result);

}  // namespace kelo::cli
