/* SPDX-License-Identifier: Apache-2.0 */
/* A stand-in ws2_32.dll for the load refusal check: its WSAStartup fails or
 * grants another version than asked, as KELO_STANDIN_WINSOCK says ("fail"
 * or the granted version word as a number), and it counts the calls. Every
 * other name the library imports leads to standinUnused: the library never
 * gets to call them. Its module definition file is written from the
 * library's import table (cmake/WinsockStandinDef.cmake). */
#include <windows.h>

#include <stdlib.h>

static LONG startups, cleanups;

/* data: the leading field of WSADATA, the version granted. */
int __stdcall standinStartup(WORD requested, WORD* data) {
    char mode[16];
    (void)requested;
    InterlockedIncrement(&startups);
    if (GetEnvironmentVariableA("KELO_STANDIN_WINSOCK", mode, sizeof mode) == 0 || lstrcmpA(mode, "fail") == 0)
        return 10092; /* WSAVERNOTSUPPORTED */
    *data = (WORD)strtoul(mode, NULL, 0);
    return 0;
}

int __stdcall standinCleanup(void) { return InterlockedIncrement(&cleanups), 0; }
int __stdcall standinUnused(void) { return -1; }

/* Calls counted since the last reading, which starts them again. */
LONG __stdcall standinStartups(void) { return InterlockedExchange(&startups, 0); }
LONG __stdcall standinCleanups(void) { return InterlockedExchange(&cleanups, 0); }
