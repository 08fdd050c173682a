// SPDX-License-Identifier: Apache-2.0
#include "core/safe_array.h"

#include <cstdint>

namespace kelo::platform {

#if defined(_WIN32)

bool lockSafeArray(KeloSafeArray* array) { return SUCCEEDED(SafeArrayLock(array)); }
bool unlockSafeArray(KeloSafeArray* array) { return SUCCEEDED(SafeArrayUnlock(array)); }

#else

// The limits COM keeps: no unlock below zero, at most 65535 locks.
namespace {
constexpr std::uint32_t kMaxLocks = 0xFFFFu;
}

bool lockSafeArray(KeloSafeArray* array) {
    if (array == nullptr || array->cLocks >= kMaxLocks) return false;
    ++array->cLocks;
    return true;
}

bool unlockSafeArray(KeloSafeArray* array) {
    if (array == nullptr || array->cLocks == 0) return false;
    --array->cLocks;
    return true;
}

#endif

}  // namespace kelo::platform
