/* SPDX-License-Identifier: Apache-2.0 */
/* Loads kelo_dll.dll as an application does, beside a stand-in ws2_32.dll
 * (winsock_standin.c) that counts the Winsock calls: a failed WSAStartup
 * refuses the load without a cleanup; another version than 2.2 granted is
 * cleaned up once and refuses it; 2.2 is accepted, every name of the export
 * list resolves with GetProcAddress, and the unload cleans up once (so a
 * host that runs Winsock itself keeps it). The check, the stand-in and a
 * copy of the DLL share a folder of their own; Wine takes the stand-in from
 * there with WINEDLLOVERRIDES=ws2_32=n (Windows always maps its own
 * ws2_32, a known DLL).
 *   kelo_dll_load_check <export list, one name a line> */
#include <windows.h>

#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "kelo_dll/version.h"

typedef LONG(__stdcall* Count)(void);
typedef int32_t(__stdcall* GetNumber)(void);

/* Through a function type without arguments, as FARPROC is meant to be cast. */
#define FUNCTION(type, module, name) ((type)(void (*)(void))GetProcAddress(module, name))

/* Every name of the list resolves, and a call through a plain name reaches
 * the __stdcall function. */
static int resolveExports(HMODULE dll, const char* listPath) {
    int failures = 0, names = 0;
    char name[256];
    FILE* list = fopen(listPath, "r");
    while (list != NULL && fgets(name, sizeof name, list) != NULL) {
        name[strcspn(name, "\r\n")] = '\0';
        if (name[0] == '\0' || (++names, GetProcAddress(dll, name) != NULL)) continue;
        fprintf(stderr, "export %s does not resolve\n", name);
        failures++;
    }
    if (list != NULL) fclose(list);
    GetNumber major = FUNCTION(GetNumber, dll, "lpGetKeloDllMajorVersionNumber");
    if (names > 0 && major != NULL && major() == KELO_DLL_MAJOR_VERSION) return failures;
    fprintf(stderr, "%d names in %s; lpGetKeloDllMajorVersionNumber wrong\n", names, listPath);
    return failures + 1;
}

int main(int argc, char** argv) {
    static const struct { const char* mode; LONG cleanupsAtLoad; } cases[] = {
        {"fail", 0}, {"0x0102", 1}, {"0x0201", 1}, {"0x0101", 1}, {"0x0202", 0}};
    HMODULE standin = LoadLibraryA("ws2_32.dll");
    Count startups = FUNCTION(Count, standin, "standinStartups");
    Count cleanups = FUNCTION(Count, standin, "standinCleanups");
    int failures = 0;
    if (argc != 2 || startups == NULL || cleanups == NULL) {
        fprintf(stderr, "usage: %s EXPORT_LIST, beside the stand-in ws2_32.dll (WINEDLLOVERRIDES=ws2_32=n)\n",
                argv[0]);
        return 2;
    }
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        const int accepted = i == sizeof cases / sizeof cases[0] - 1;
        SetEnvironmentVariableA("KELO_STANDIN_WINSOCK", cases[i].mode);
        startups(), cleanups();
        HMODULE dll = LoadLibraryA("kelo_dll.dll");
        const DWORD error = GetLastError();
        const LONG started = startups(), cleaned = cleanups();
        if (dll != NULL) failures += resolveExports(dll, argv[1]);
        const LONG cleanedAtUnload = dll != NULL && FreeLibrary(dll) ? cleanups() : 0;
        if ((dll != NULL) != accepted || (dll == NULL && error != ERROR_DLL_INIT_FAILED) || started != 1 ||
            cleaned != cases[i].cleanupsAtLoad || cleanedAtUnload != accepted) {
            fprintf(stderr, "%s: load %s (error %lu), %ld WSAStartup, %ld + %ld WSACleanup\n", cases[i].mode,
                    dll ? "accepted" : "refused", error, started, cleaned, cleanedAtUnload);
            failures++;
        }
    }
    printf("dll load check: %d failure(s)\n", failures);
    return failures == 0 ? 0 : 1;
}
