// SPDX-License-Identifier: Apache-2.0
// Group collection throughput: lpMultipleScannerGetMultipleProfiles from 4
// and from 8 emulated scanners on loopback, beside one connection reading
// the same batches with lpGetMultipleProfiles. Reports profiles per second
// and the calling thread's CPU time per profile and heap allocations per
// collection (the emulators run on threads of their own and are not
// counted). The default shape, 100 profiles of 243 points per batch, is
// that of profile_read_bench, so the figures can be set side by side.
//
// usage: group_collect_bench [profiles-per-collection [collections]]
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "core/command_codes.h"
#include "core/socket_layer.h"
#include "emulator/emulator.h"
#include "kelo_dll.h"
#include "support/allocation_count.h"

namespace {

using kelo::emu::Bytes;

constexpr std::uint32_t kPoints = KELO_PROFILE_MAX_POINTS;
constexpr int kMaxCollections = 100000;
constexpr std::uint32_t kMaxProfiles = 10000;
// Each measurement stops after this long even if collections remain.
constexpr double kMaxSecondsPerRun = 30.0;

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// A full-size profile answer, built once.
Bytes profileAnswer() {
    Bytes payload;
    for (int word = 0; word < KELO_PROFILE_HEADER_VALUES; ++word) kelo::emu::appendWord(payload, word);
    kelo::emu::appendWord(payload, kPoints);
    for (std::uint32_t p = 0; p < kPoints; ++p) {
        kelo::emu::appendWord(payload, p);
        kelo::emu::appendWord(payload, 1000 + p);
        kelo::emu::appendWord(payload, 2000 + p);
    }
    return kelo::emu::answerBytes(kelo::kAnswerProfile, payload);
}

// Answers every batch request at once with exactly the profiles asked for,
// from prepared bytes, so the emulator costs as little as possible.
class ReadyBatches {
public:
    explicit ReadyBatches(kelo::emu::Emulator& emulator) : profile_(profileAnswer()) {
        emulator.overrideCommand(kelo::kCmdMultipleProfileRequest,
                                 [this](kelo::emu::Session& session, const kelo::emu::Command& c) {
                                     session.sendRaw(answerFor(c.word(0)));
                                 });
    }

private:
    const Bytes& answerFor(std::uint32_t count) {
        std::lock_guard<std::mutex> lock(mutex_);
        Bytes& answer = cache_[count];
        if (answer.empty()) {
            Bytes payload;
            kelo::emu::appendWord(payload, count);
            for (std::uint32_t i = 0; i < count; ++i)
                payload.insert(payload.end(), profile_.begin(), profile_.end());
            answer = kelo::emu::answerBytes(kelo::kAnswerProfileBatch, payload);
        }
        return answer;
    }

    const Bytes profile_;
    std::mutex mutex_;
    std::map<std::uint32_t, Bytes> cache_;
};

struct Scanner {
    std::unique_ptr<kelo::emu::Emulator> emulator;
    std::unique_ptr<ReadyBatches> batches;
    ScannerConnection* connection = nullptr;
};

// 127.250.x.y, apart from the test suite's addresses.
std::string benchAddress(unsigned index) {
    return "127.250." + std::to_string(1 + index / 250) + "." + std::to_string(1 + index % 250);
}

bool startScanners(std::vector<Scanner>& scanners, std::size_t count, unsigned& nextAddress) {
    for (std::size_t i = 0; i < count; ++i) {
        Scanner scanner;
        scanner.emulator = std::make_unique<kelo::emu::Emulator>();
        bool started = false;
        for (int attempt = 0; attempt < 8 && !started; ++attempt)
            started = scanner.emulator->start(benchAddress(nextAddress++), KELO_SCANNER_TCP_PORT);
        if (!started) return false;
        scanner.batches = std::make_unique<ReadyBatches>(*scanner.emulator);
        scanner.connection = lpOpenConnection(scanner.emulator->bindAddress().c_str());
        if (scanner.connection == nullptr) return false;
        scanners.push_back(std::move(scanner));
    }
    return true;
}

void stopScanners(std::vector<Scanner>& scanners) {
    for (auto& scanner : scanners) {
        lpExitSyncMode(scanner.connection);
        lpCloseConnection(scanner.connection);
        scanner.emulator->stop();
    }
    scanners.clear();
}

void report(const char* label, std::uint64_t profiles, double wallSeconds, double cpuSeconds,
            unsigned long allocations, int collections) {
    std::printf("%-14s %9llu profiles %8.3f s %10.0f profiles/s %7.2f us CPU/profile %6.2f allocations/collection\n",
                label, static_cast<unsigned long long>(profiles), wallSeconds,
                profiles / wallSeconds, cpuSeconds * 1e6 / profiles,
                static_cast<double>(allocations) / collections);
}

// One untimed collection sizes the stores; then up to `collections` timed
// ones, each of which must succeed.
template <typename Collect>
bool measure(const std::string& label, std::uint64_t profilesPerCollection, int collections,
             Collect collect) {
    if (!collect()) return false;
    int done = 0;
    // The timed loops should make none once the first collection has sized
    // the stores.
    const unsigned long allocations = kelo::bench::threadAllocationCount();
    const auto wall = std::chrono::steady_clock::now();
    const double cpu = threadCpuSeconds();
    bool ok = true;
    while (ok && done < collections && secondsSince(wall) < kMaxSecondsPerRun) {
        ok = collect();
        done += ok ? 1 : 0;
    }
    const double cpuSeconds = threadCpuSeconds() - cpu;
    const double wallSeconds = secondsSince(wall);
    if (ok && done > 0)
        report(label.c_str(), profilesPerCollection * done, wallSeconds, cpuSeconds,
               kelo::bench::threadAllocationCount() - allocations, done);
    return ok;
}

bool runSingle(std::uint32_t n, int collections, unsigned& nextAddress) {
    std::vector<Scanner> scanners;
    bool ok = startScanners(scanners, 1, nextAddress);
    std::vector<ProfileRecord> records(n);
    ok = ok && lpEnterTimeSyncMode(scanners[0].connection) == KELO_OK;
    ok = ok && measure("1 connection", n, collections, [&] {
        return lpGetMultipleProfiles(scanners[0].connection, records.data(), n) ==
               static_cast<int32_t>(n);
    });
    stopScanners(scanners);
    return ok;
}

bool runGroup(std::size_t members, std::uint32_t n, int collections, unsigned& nextAddress) {
    std::vector<Scanner> scanners;
    MultipleScanner* group = lpMultipleScannerCreate();
    bool ok = group != nullptr && startScanners(scanners, members, nextAddress);
    for (auto& scanner : scanners)
        ok = ok && lpMultipleScannerAddConnection(group, scanner.connection) == KELO_OK;
    ok = ok && lpMultipleScannerEnterTimeSyncMode(group) == KELO_GROUP_OK;
    ok = ok && measure("group of " + std::to_string(members),
                       static_cast<std::uint64_t>(n) * members, collections,
                       [&] { return lpMultipleScannerGetMultipleProfiles(group, n) == KELO_GROUP_OK; });
    for (auto& scanner : scanners) lpMultipleScannerRemoveConnection(group, scanner.connection);
    lpMultipleScannerDelete(group);
    stopScanners(scanners);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    const long n = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 100;
    const long collections = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 1000;
    if (n < 1 || n > static_cast<long>(kMaxProfiles) || collections < 1 ||
        collections > kMaxCollections) {
        std::fprintf(stderr, "usage: %s [profiles 1..%u [collections 1..%d]]\n", argv[0],
                     kMaxProfiles, kMaxCollections);
        return 2;
    }
    if (!kelo::net::startup()) {
        std::fprintf(stderr, "socket layer did not start\n");
        return 1;
    }
    std::printf("%ld profiles of %u points per collection and member, %ld collections\n", n,
                kPoints, collections);
    unsigned nextAddress = 0;
    const auto count = static_cast<std::uint32_t>(n);
    const int rounds = static_cast<int>(collections);
    bool ok = runSingle(count, rounds, nextAddress);
    ok = runGroup(4, count, rounds, nextAddress) && ok;
    ok = runGroup(8, count, rounds, nextAddress) && ok;
    kelo::net::cleanup();
    if (!ok) std::fprintf(stderr, "a collection failed\n");
    return ok ? 0 : 1;
}
