/* SPDX-License-Identifier: Apache-2.0 */
/* A client built as an MSVC program would be: compiled by clang-cl for the
 * MSVC target without any C runtime, linked by lld-link against
 * lib/kelo_dll.lib and a kernel32 import library only. It calls the
 * export under its decorated name and plain ones, with double arguments,
 * against the emulator whose address is its last argument. */
#include "kelo_dll.h"

#define STD_OUTPUT_HANDLE ((unsigned long)-11)
__declspec(dllimport) void* __stdcall GetStdHandle(unsigned long which);
__declspec(dllimport) int __stdcall WriteFile(void* file, const void* data, unsigned long size,
                                              unsigned long* written, void* overlapped);
__declspec(dllimport) char* __stdcall GetCommandLineA(void);
__declspec(dllimport) void __stdcall ExitProcess(unsigned int code);

/* The MSVC linker's marker that floating point is used. */
int _fltused = 0;

static ProfileRecord records[10];
static int failures = 0;

static void say(const char* text) {
    unsigned long n = 0, written = 0;
    while (text[n] != '\0') ++n;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, n, &written, 0);
}

static int same(const char* a, const char* b) {
    while (*a != '\0' && *a == *b) ++a, ++b;
    return *a == *b;
}

static void check(int ok, const char* what) {
    if (ok) return;
    ++failures;
    say("FAILED: ");
    say(what);
    say("\n");
}

/* The last word of the command line. */
static const char* lastArgument(void) {
    char *p, *last = GetCommandLineA();
    for (p = last; *p != '\0'; ++p) {
        if (*p == ' ' && p[1] != ' ' && p[1] != '\0') last = p + 1;
    }
    for (p = last; *p != '\0' && *p != ' '; ++p) {}
    *p = '\0';
    return last;
}

void clientMain(void) {
    ScannerConnection* h = lpOpenConnection(lastArgument());
    int32_t got;
    check(lpGetKeloDllMajorVersionNumber() == KELO_DLL_MAJOR_VERSION, "lpGetKeloDllMajorVersionNumber");
    check(h != 0, "lpOpenConnection");
    if (h == 0) ExitProcess(1);

    /* The decorated export, then plain ones reading its answer. */
    check(lpBeginSendParametersToScanner(h, "Bogus = 1\n") == 0, "lpBeginSendParametersToScanner");
    check(lpEndSendParametersToScanner(h) == KELO_ERROR_STATE && lpGetNumberOfErrorMessages(h) == 1,
          "lpEndSendParametersToScanner");
    check(lpGetErrorMessage(h, 0) != 0 && same(lpGetErrorMessage(h, 0), "line 1: unknown parameter Bogus"),
          "lpGetErrorMessage");

    /* Doubles: on 32 bits on the stack, the callee pops 36 bytes; on 64 bits
     * the first three in XMM registers. */
    check(lpOverrideScanWindow(h, 100.0, -100.0, -50.0, 50.0) == 0, "lpOverrideScanWindow");

    check(lpEnterTimeSyncMode(h) == 0 && lpSendMultipleProfileRequest(h, 10) == 0, "lpSendMultipleProfileRequest");
    got = lpReadMultipleProfiles(h, records, 10);
    check(got > 0 && got <= 10 && records[0].pointCount > 0, "lpReadMultipleProfiles");
    check(lpExitSyncMode(h) == 0 && lpCloseConnection(h) == 0, "lpExitSyncMode, lpCloseConnection");

    say(failures == 0 ? "msvc client: all calls answered as expected\n" : "msvc client: failures\n");
    ExitProcess(failures == 0 ? 0 : 1);
}
