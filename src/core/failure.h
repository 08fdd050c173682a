/* SPDX-License-Identifier: Apache-2.0 */
// Why an exchange on a connection failed, as lpGetLastFailure reports it.
#pragma once

#include <cstdint>

#include "kelo_dll/extensions.h"

namespace kelo {

struct Failure {
    std::int32_t code = KELO_FAILURE_NONE;
    std::int32_t detail = 0;
};

// Notes why a call failed. The first failure of a call stands: what goes
// wrong while cleaning up after it does not hide the cause. A null
// failure notes nothing.
inline void noteFailure(Failure* failure, std::int32_t code, std::int32_t detail = 0) {
    if (failure != nullptr && failure->code == KELO_FAILURE_NONE) *failure = Failure{code, detail};
}

}  // namespace kelo
