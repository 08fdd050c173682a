/* SPDX-License-Identifier: Apache-2.0 */
/* Finds the scanners on the network, opens the first one that answered (or
 * the one you name), and reads five batches of 100 profiles in time sync.
 *
 *   find_and_read              discover, then open the first scanner found
 *   find_and_read HOST[:PORT]  open that scanner
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "kelo_dll.h"

enum { kBatches = 5, kProfilesPerBatch = 100, kMostScanners = 16 };

/* Why the last call on the connection failed, in words. */
static const char* failureText(ScannerConnection* scanner) {
    switch (lpGetLastFailure(scanner)) {
        case KELO_FAILURE_TIMEOUT: return "no answer in time";
        case KELO_FAILURE_CLOSED: return "the scanner closed the connection";
        case KELO_FAILURE_SOCKET: return "a socket error";
        case KELO_FAILURE_WRONG_TYPE: return "an answer of another type";
        case KELO_FAILURE_TOO_LONG: return "an answer too long for its record";
        case KELO_FAILURE_REFUSED: return "the call was refused";
        default: return "no failure";
    }
}

/* Discovers the scanners and opens the first one at the address its reply
 * came from; null when none answered. */
static ScannerConnection* openFirstFound(void) {
    ScannerInfo found[kMostScanners];
    uint32_t addresses[kMostScanners];
    const int32_t count = lpFindAllScannersWithAddresses(found, addresses, kMostScanners);
    int32_t i;
    if (count < 0) {
        fprintf(stderr, "discovery failed: socket error %d\n", lpGetLastSocketError());
        return NULL;
    }
    for (i = 0; i < count; ++i) {
        /* The address is in network byte order: its bytes read in order. */
        const unsigned char* a = (const unsigned char*)&addresses[i];
        printf("found scanner %u at %u.%u.%u.%u\n", (unsigned)found[i].identity, a[0], a[1], a[2], a[3]);
    }
    if (count == 0) {
        fprintf(stderr, "no scanner answered\n");
        return NULL;
    }
    return lpOpenConnectionInt(addresses[0]);
}

/* HOST or HOST:PORT. */
static ScannerConnection* openNamed(const char* text) {
    char host[256];
    const char* colon = strrchr(text, ':');
    unsigned long port = KELO_SCANNER_TCP_PORT;
    size_t length = colon != NULL ? (size_t)(colon - text) : strlen(text);
    if (length >= sizeof host) return NULL;
    memcpy(host, text, length);
    host[length] = '\0';
    if (colon != NULL) port = strtoul(colon + 1, NULL, 10);
    return lpOpenConnectionPort(host, (uint32_t)port, 0);
}

/* One request is kept ahead of the read, so the scanner always has one to
 * fill while the application handles the last batch. */
static int readBatches(ScannerConnection* scanner, ProfileRecord* records) {
    int batch;
    if (lpSendMultipleProfileRequest(scanner, kProfilesPerBatch) != KELO_OK) return 1;
    for (batch = 1; batch <= kBatches; ++batch) {
        int32_t stored;
        if (batch < kBatches && lpSendMultipleProfileRequest(scanner, kProfilesPerBatch) != KELO_OK) return 1;
        stored = lpReadMultipleProfiles(scanner, records, kProfilesPerBatch);
        if (stored < 0) {
            fprintf(stderr, "batch %d failed (%d): %s\n", batch, stored, failureText(scanner));
            return 1;
        }
        printf("batch %d: %d profiles", batch, stored);
        if (stored > 0 && records[0].pointCount > 0) {
            const int32_t* point = records[0].points[records[0].pointCount / 2];
            printf(" of %d points; middle point of the first (%d, %d, %d)", records[0].pointCount, point[0],
                   point[1], point[2]);
        }
        printf("\n");
    }
    return 0;
}

int main(int argc, char** argv) {
    ScannerConnection* scanner = argc > 1 ? openNamed(argv[1]) : openFirstFound();
    /* About 300 KB of records: on the heap, not on the stack. */
    ProfileRecord* records = (ProfileRecord*)malloc(kProfilesPerBatch * sizeof *records);
    int failed;
    if (scanner == NULL || records == NULL) {
        fprintf(stderr, "no connection\n");
        free(records);
        return 1;
    }
    failed = lpEnterTimeSyncMode(scanner) != KELO_OK || readBatches(scanner, records) != 0;
    /* Leaving sync mode reads and drops the batches still owed. */
    if (lpIsInSyncMode(scanner) == 1 && lpExitSyncMode(scanner) != KELO_OK) failed = 1;
    lpCloseConnection(scanner);
    free(records);
    return failed;
}
