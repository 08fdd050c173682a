// Locking of the caller's COM safe array: SafeArrayLock/SafeArrayUnlock on
// Windows, the stand-in descriptor's lock counter elsewhere.
#pragma once

#include "kelo_dll/discovery.h"

namespace kelo::platform {

// True when the array was locked / unlocked.
bool lockSafeArray(KeloSafeArray* array);
bool unlockSafeArray(KeloSafeArray* array);

}  // namespace kelo::platform
