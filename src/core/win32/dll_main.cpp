// Load and unload of the DLL: the socket layer runs for exactly as long as
// the library is loaded. Connections the application left open are not
// touched on unload.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "core/socket_layer.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        // Winsock 2.2 exactly, or the load is refused.
        return kelo::net::startup() ? TRUE : FALSE;
    case DLL_PROCESS_DETACH:
        kelo::net::cleanup();
        return TRUE;
    default:
        return TRUE;
    }
}
