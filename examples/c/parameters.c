/* SPDX-License-Identifier: Apache-2.0 */
/* Uploads a parameter set and prints what the scanner said about it: once
 * accepted, once with a value out of range and a name it does not know.
 *
 *   parameters HOST[:PORT]
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "kelo_dll.h"

/* Sends one parameter text and prints the verdict. */
static int upload(ScannerConnection* scanner, const char* text) {
    const int32_t result = lpSendParametersToScanner(scanner, text);
    int32_t i;
    if (result == KELO_OK) {
        printf("accepted\n");
        return 0;
    }
    if (result == KELO_ERROR_STATE && lpGetLastFailure(scanner) == KELO_FAILURE_REFUSED &&
        lpGetNumberOfErrorMessages(scanner) > 0) {
        /* The messages live in the connection until its next upload. */
        printf("rejected:\n");
        for (i = 0; i < lpGetNumberOfErrorMessages(scanner); ++i)
            printf("  %s\n", lpGetErrorMessage(scanner, (uint32_t)i));
        return 0;
    }
    fprintf(stderr, "the upload failed: %d (failure %d)\n", result, lpGetLastFailure(scanner));
    return 1;
}

int main(int argc, char** argv) {
    char host[256];
    const char* colon;
    unsigned long port = KELO_SCANNER_TCP_PORT;
    ScannerConnection* scanner;
    int failed;
    if (argc != 2 || strlen(argv[1]) >= sizeof host) {
        fprintf(stderr, "usage: parameters HOST[:PORT]\n");
        return 2;
    }
    strcpy(host, argv[1]);
    colon = strrchr(host, ':');
    if (colon != NULL) {
        port = strtoul(colon + 1, NULL, 10);
        host[colon - host] = '\0';
    }
    scanner = lpOpenConnectionPort(host, (uint32_t)port, 0);
    if (scanner == NULL) {
        fprintf(stderr, "no scanner at %s\n", argv[1]);
        return 1;
    }
    failed = upload(scanner, "ExposureTime = 800\nLaserPower = 60\n") ||
             upload(scanner, "ExposureTime = 5\nShutterSpeed = 3\n");
    lpCloseConnection(scanner);
    return failed;
}
