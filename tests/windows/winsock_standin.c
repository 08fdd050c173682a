/* A stand-in ws2_32.dll for the load refusal check: its WSAStartup fails or
 * grants another version than asked, as KELO_STANDIN_WINSOCK says ("fail"
 * or the granted version word as a number), and it counts the calls. Every
 * other name the library imports leads to standinUnused: the library never
 * gets to call them, since its load is refused. Its module definition file
 * is written from the library's import table (cmake/WinsockStandinDef.cmake). */
#include <windows.h>

#include <stdlib.h>

#define STANDIN_VERSION_NOT_SUPPORTED 10092 /* WSAVERNOTSUPPORTED */

static LONG startups;
static LONG cleanups;

/* The leading fields of WSADATA, the same on 32 and 64 bits. */
typedef struct {
    WORD wVersion;
    WORD wHighVersion;
} StandinData;

int __stdcall standinStartup(WORD requested, StandinData* data) {
    char mode[16];
    InterlockedIncrement(&startups);
    if (GetEnvironmentVariableA("KELO_STANDIN_WINSOCK", mode, sizeof mode) == 0 ||
        lstrcmpA(mode, "fail") == 0)
        return STANDIN_VERSION_NOT_SUPPORTED;
    data->wVersion = (WORD)strtoul(mode, NULL, 0);
    data->wHighVersion = requested;
    return 0;
}

int __stdcall standinCleanup(void) {
    InterlockedIncrement(&cleanups);
    return 0;
}

int __stdcall standinUnused(void) { return -1; }

/* Calls counted since the last reading, which starts them again. */
LONG __stdcall standinStartups(void) { return InterlockedExchange(&startups, 0); }
LONG __stdcall standinCleanups(void) { return InterlockedExchange(&cleanups, 0); }
