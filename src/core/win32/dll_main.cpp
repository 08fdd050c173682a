// SPDX-License-Identifier: Apache-2.0
// Load and unload of the DLL: the socket layer runs for exactly as long as
// the library is loaded. Connections the application left open are not
// touched on unload.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "core/socket_layer.h"
#include "core/socket_layer_lifetime.h"

namespace {
// Constant-initialised: ready before the loader's first notice.
kelo::platform::SocketLayerLifetime gWinsock(kelo::net::startup, kelo::net::cleanup);
}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        // Winsock 2.2 exactly, or the load is refused.
        return gWinsock.load() ? TRUE : FALSE;
    case DLL_PROCESS_DETACH:
        // Also sent after a refused attach, which started nothing.
        gWinsock.unload();
        return TRUE;
    default:
        return TRUE;
    }
}
