/* SPDX-License-Identifier: Apache-2.0 */
/* An application of the installed library: five batches of profiles in time
 * sync from the scanner at HOST. Exit status 0 when every batch held
 * profiles of 243 points and the connection closed cleanly. */
#include <stdio.h>

#include <kelo_dll.h>

#define BATCHES 5
#define PROFILES 100

static ProfileRecord profiles[PROFILES];

int main(int argc, char** argv) {
    ScannerConnection* scanner;
    int32_t total = 0;
    int ok;
    int batch;
    if (argc != 2) {
        fprintf(stderr, "usage: kelo_consumer HOST\n");
        return 2;
    }
    scanner = lpOpenConnection(argv[1]);
    if (scanner == NULL) {
        fprintf(stderr, "kelo_consumer: cannot connect to %s\n", argv[1]);
        return 1;
    }
    ok = lpEnterTimeSyncMode(scanner) == KELO_OK;
    for (batch = 0; ok && batch < BATCHES; ++batch) {
        int32_t i, got = lpGetMultipleProfiles(scanner, profiles, PROFILES);
        ok = got > 0 && got <= PROFILES;
        for (i = 0; ok && i < got; ++i) ok = profiles[i].pointCount == KELO_PROFILE_MAX_POINTS;
        if (ok) total += got;
    }
    ok = lpExitSyncMode(scanner) == KELO_OK && ok;
    ok = lpCloseConnection(scanner) == KELO_OK && ok;
    printf("kelo_consumer: %d profiles from %s with kelo_dll %u.%u%s\n", (int)total, argv[1],
           lpGetKeloDllMajorVersionNumber(), lpGetKeloDllMinorVersionNumber(), ok ? "" : ", FAILED");
    return ok ? 0 : 1;
}
