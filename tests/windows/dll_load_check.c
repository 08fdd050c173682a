/* Loads kelo_dll.dll as an application does and checks what loading does:
 * Winsock is started by the DLL's load and stopped by its unload, and every
 * name of the export list resolves with GetProcAddress.
 *   kelo_dll_load_check <path of kelo_dll.dll> <export list, one name a line> */
#include <winsock2.h>
#include <windows.h>

#include <stdint.h>
#include <stdio.h>
#include <string.h>

typedef int32_t(__stdcall* GetNumber)(void);

/* 1 when this process can use Winsock without starting it itself. */
static int winsockUsable(void) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    if (s == INVALID_SOCKET) return WSAGetLastError() == WSANOTINITIALISED ? 0 : -1;
    closesocket(s);
    return 1;
}

int main(int argc, char** argv) {
    int failures = 0;
    if (argc != 3) {
        fprintf(stderr, "usage: %s KELO_DLL EXPORT_LIST\n", argv[0]);
        return 2;
    }
    if (winsockUsable() != 0) {
        fprintf(stderr, "Winsock already usable before the DLL is loaded\n");
        return 1;
    }

    HMODULE dll = LoadLibraryA(argv[1]);
    if (dll == NULL) {
        fprintf(stderr, "LoadLibrary(%s) failed: %lu\n", argv[1], GetLastError());
        return 1;
    }
    if (winsockUsable() != 1) {
        fprintf(stderr, "loading the DLL did not start Winsock\n");
        failures++;
    }

    FILE* list = fopen(argv[2], "r");
    if (list == NULL) {
        fprintf(stderr, "cannot read %s\n", argv[2]);
        return 1;
    }
    char name[256];
    int names = 0;
    while (fgets(name, sizeof name, list) != NULL) {
        name[strcspn(name, "\r\n")] = '\0';
        if (name[0] == '\0') continue;
        names++;
        if (GetProcAddress(dll, name) == NULL) {
            fprintf(stderr, "export %s does not resolve\n", name);
            failures++;
        }
    }
    fclose(list);
    if (names == 0) {
        fprintf(stderr, "the export list is empty\n");
        failures++;
    }

    /* A call through a plain name reaches the __stdcall function. */
    GetNumber major = (GetNumber)(void (*)(void))GetProcAddress(dll, "lpGetKeloDllMajorVersionNumber");
    if (major == NULL || major() != 3865) {
        fprintf(stderr, "lpGetKeloDllMajorVersionNumber through GetProcAddress is wrong\n");
        failures++;
    }

    if (!FreeLibrary(dll)) {
        fprintf(stderr, "FreeLibrary failed: %lu\n", GetLastError());
        failures++;
    } else if (winsockUsable() != 0) {
        fprintf(stderr, "unloading the DLL did not stop Winsock\n");
        failures++;
    }

    /* A host that runs Winsock itself keeps it across the DLL's load and
     * unload, and stops it with its own cleanup. */
    {
        WSADATA data;
        if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
            fprintf(stderr, "the host's WSAStartup failed\n");
            failures++;
        } else {
            HMODULE again = LoadLibraryA(argv[1]);
            if (again == NULL || !FreeLibrary(again)) {
                fprintf(stderr, "loading the DLL again failed\n");
                failures++;
            }
            if (winsockUsable() != 1) {
                fprintf(stderr, "unloading the DLL stopped the host's Winsock\n");
                failures++;
            }
            WSACleanup();
            if (winsockUsable() != 0) {
                fprintf(stderr, "Winsock outlived the host's cleanup: the DLL left a start behind\n");
                failures++;
            }
        }
    }

    printf("dll load check: %d names, %d failure(s)\n", names, failures);
    return failures == 0 ? 0 : 1;
}
