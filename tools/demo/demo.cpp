// SPDX-License-Identifier: Apache-2.0
// kelo-demo: connects to a scanner, runs a short time-synchronised
// acquisition and prints what came back.
// usage: kelo-demo [HOST [BATCHES [PROFILES]]]   (default 127.0.0.1, 5 batches of 100)
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "kelo_dll.h"

namespace {

// One request is kept ahead of the read, so the scanner always has one to fill.
int acquire(ScannerConnection* scanner, int batches, uint32_t perBatch) {
    std::vector<ProfileRecord> records(perBatch);
    if (lpSendMultipleProfileRequest(scanner, perBatch) != KELO_OK) return 1;
    long total = 0;
    for (int b = 0; b < batches; ++b) {
        if (b + 1 < batches && lpSendMultipleProfileRequest(scanner, perBatch) != KELO_OK) return 1;
        const int32_t stored = lpReadMultipleProfiles(scanner, records.data(), perBatch);
        if (stored < 0) {
            std::fprintf(stderr, "kelo-demo: batch %d failed: %d\n", b + 1, stored);
            return 1;
        }
        total += stored;
        std::printf("batch %d: %d profiles", b + 1, stored);
        if (stored > 0) {
            const ProfileRecord& first = records[0];
            const int middle = first.pointCount / 2;
            std::printf(", %d points each; first profile: laser %d, header[1] %d",
                        first.pointCount, first.header[0], first.header[1]);
            if (first.pointCount > 0) {
                std::printf(", middle point (%d, %d, %d)", first.points[middle][0],
                            first.points[middle][1], first.points[middle][2]);
            }
        }
        std::printf("\n");
    }
    std::printf("%ld profiles in %d batches\n", total, batches);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const char* host = argc > 1 ? argv[1] : "127.0.0.1";
    const int batches = argc > 2 ? std::atoi(argv[2]) : 5;
    const long perBatch = argc > 3 ? std::atol(argv[3]) : 100;
    if (batches < 1 || perBatch < 1 || perBatch > 100000) {
        std::fprintf(stderr, "usage: kelo-demo [HOST [BATCHES [PROFILES]]]\n");
        return 2;
    }
    std::printf("kelo_dll %u.%u\n", lpGetKeloDllMajorVersionNumber(),
                lpGetKeloDllMinorVersionNumber());
    ScannerConnection* scanner = lpOpenConnection(host);
    if (scanner == nullptr) {
        std::fprintf(stderr, "kelo-demo: no scanner answers at %s:%d\n", host, KELO_SCANNER_TCP_PORT);
        return 1;
    }
    std::printf("connected to %s (socket %d)\n", host, lpGetSocket(scanner));

    int status = 1;
    if (lpEnterTimeSyncMode(scanner) == KELO_OK) {
        std::printf("time sync entered\n");
        status = acquire(scanner, batches, static_cast<uint32_t>(perBatch));
        const int32_t exited = lpExitSyncMode(scanner);
        std::printf("sync left: %d, answers still owed: %d\n", exited,
                    lpGetNumberOfOutstandingRequests(scanner));
        if (exited != KELO_OK) status = 1;
    } else {
        std::fprintf(stderr, "kelo-demo: could not enter time sync\n");
    }

    const int32_t closed = lpCloseConnection(scanner);
    std::printf("closed: %d\n", closed);
    return status == 0 && closed == KELO_OK ? 0 : 1;
}
