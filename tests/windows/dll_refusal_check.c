/* The load of kelo_dll.dll against a Winsock that will not give version 2.2
 * exactly: a failed WSAStartup refuses the load without a cleanup; another
 * version granted is cleaned up once and refuses it; 2.2 is accepted and its
 * unload cleans up once. It runs in a folder of its own beside the stand-in
 * ws2_32.dll (winsock_standin.c) and a copy of the DLL. Wine takes the
 * stand-in from there with WINEDLLOVERRIDES=ws2_32=n; Windows always maps
 * its own ws2_32, a known DLL, so the check needs Wine. */
#include <windows.h>

#include <stdio.h>

typedef LONG(__stdcall* Count)(void);

int main(void) {
    static const struct {
        const char* mode;   /* KELO_STANDIN_WINSOCK */
        int loads;
        LONG cleanupsAtLoad;
    } cases[] = {
        {"fail", 0, 0}, {"0x0102", 0, 1}, {"0x0201", 0, 1}, {"0x0101", 0, 1}, {"0x0202", 1, 0},
    };
    int failures = 0;
    HMODULE standin = LoadLibraryA("ws2_32.dll");
    /* Through a function type without arguments, as FARPROC is meant to be cast. */
    Count startups = standin ? (Count)(void (*)(void))GetProcAddress(standin, "standinStartups") : NULL;
    Count cleanups = standin ? (Count)(void (*)(void))GetProcAddress(standin, "standinCleanups") : NULL;
    if (startups == NULL || cleanups == NULL) {
        fprintf(stderr, "ws2_32.dll here is not the stand-in (WINEDLLOVERRIDES=ws2_32=n?)\n");
        return 1;
    }
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        SetEnvironmentVariableA("KELO_STANDIN_WINSOCK", cases[i].mode);
        startups();
        cleanups();
        HMODULE dll = LoadLibraryA("kelo_dll.dll");
        const DWORD error = GetLastError();
        const LONG started = startups(), cleaned = cleanups();
        if ((dll != NULL) != cases[i].loads) {
            fprintf(stderr, "%s: the load was %s\n", cases[i].mode, dll ? "accepted" : "refused");
            failures++;
        } else if (dll == NULL && error != ERROR_DLL_INIT_FAILED) {
            fprintf(stderr, "%s: refused with error %lu, not by DllMain\n", cases[i].mode, error);
            failures++;
        }
        if (started != 1 || cleaned != cases[i].cleanupsAtLoad) {
            fprintf(stderr, "%s: %ld WSAStartup and %ld WSACleanup calls at the load\n", cases[i].mode,
                    started, cleaned);
            failures++;
        }
        if (dll != NULL) {
            FreeLibrary(dll);
            if (cleanups() != 1 || startups() != 0) {
                fprintf(stderr, "%s: the unload did not clean up once\n", cases[i].mode);
                failures++;
            }
        }
    }
    printf("dll refusal check: %u cases, %d failure(s)\n", (unsigned)(sizeof cases / sizeof cases[0]),
           failures);
    return failures == 0 ? 0 : 1;
}
