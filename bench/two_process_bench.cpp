// SPDX-License-Identifier: Apache-2.0
// The library's batch reader with the scanner in another process, for
// comparison with readers that cannot share a process with a sender (the
// Python stream's benchmark). "serve" answers every command 38 with one
// pre-built batch of 100 profiles of 243 points, as profile_read_bench's
// sender does, one connection after another until killed; "read" is
// profile_read_bench's library reader against such a server.
//
// usage: two_process_bench serve ADDRESS
//        two_process_bench read ADDRESS BATCHES
#include <sys/resource.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/socket_layer.h"
#include "kelo_dll.h"
#include "support/batch_sender.h"

namespace {

using kelo::bench::kProfilesPerBatch;

double threadCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

int serveForever(const char* addressText) {
    const kelo::net::Socket listener = kelo::bench::listenOnScannerPort("two_process_bench", addressText);
    if (listener == kelo::net::kInvalidSocket) return 1;
    const kelo::emu::Bytes batch = kelo::bench::buildBatch();
    const kelo::emu::Bytes single = kelo::bench::buildSingle();
    std::printf("two_process_bench: listening on %s\n", addressText);
    std::fflush(stdout);
    for (;;) {
        const kelo::net::Socket client = kelo::net::acceptConnection(listener);
        if (client == kelo::net::kInvalidSocket) continue;
        kelo::net::setNoDelay(client);
        kelo::bench::serveConnection(client, batch, single);
        kelo::net::closeSocket(client);
    }
}

// One request always ahead of the read, as profile_read_bench's reader.
int read(std::uint32_t address, long batches) {
    ScannerConnection* scanner = lpOpenConnectionInt(address);
    if (scanner == nullptr || lpEnterTimeSyncMode(scanner) != KELO_OK) return 1;
    static ProfileRecord records[kProfilesPerBatch];
    bool ok = lpSendMultipleProfileRequest(scanner, kProfilesPerBatch) == KELO_OK;
    const double cpuBefore = threadCpuSeconds();
    const auto started = std::chrono::steady_clock::now();
    for (long b = 0; ok && b < batches; ++b) {
        ok = (b + 1 == batches || lpSendMultipleProfileRequest(scanner, kProfilesPerBatch) == KELO_OK) &&
             lpReadMultipleProfiles(scanner, records, kProfilesPerBatch) ==
                 static_cast<int32_t>(kProfilesPerBatch);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const double cpu = threadCpuSeconds() - cpuBefore;
    lpExitSyncMode(scanner);
    lpCloseConnection(scanner);
    const double profiles = static_cast<double>(batches) * kProfilesPerBatch;
    std::printf("library %9.0f profiles/s  %7.2f us CPU/profile%s\n", profiles / seconds,
                cpu * 1e6 / profiles, ok ? "" : "  (FAILED)");
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::uint32_t address = 0;
    const bool serving = argc == 3 && !std::strcmp(argv[1], "serve");
    const long batches = argc == 4 && !std::strcmp(argv[1], "read") ? std::atol(argv[3]) : 0;
    if ((!serving && (batches < 1 || batches > 1000000)) || !kelo::net::startup() ||
        !kelo::net::parseDottedAddress(argv[2], &address)) {
        std::fprintf(stderr, "usage: two_process_bench serve ADDRESS\n"
                             "       two_process_bench read ADDRESS BATCHES\n");
        return 2;
    }
    return serving ? serveForever(argv[2]) : read(address, batches);
}
