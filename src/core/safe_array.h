/* SPDX-License-Identifier: Apache-2.0 */
// Locking of the caller's COM safe array: SafeArrayLock/SafeArrayUnlock on
// Windows, the stand-in descriptor's lock counter elsewhere.
#pragma once

#if defined(_WIN32)
// Completes the SAFEARRAY that the public header names only by its tag.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <oleauto.h>
#endif

#include "kelo_dll/discovery.h"

namespace kelo::platform {

// True when the array was locked / unlocked.
bool lockSafeArray(KeloSafeArray* array);
bool unlockSafeArray(KeloSafeArray* array);

}  // namespace kelo::platform
