// Batch reads of 100 profiles of 243 points over loopback: the library's
// lpReadMultipleProfiles against a baseline that reads the same bytes with
// plain blocking recv into one buffer. A minimal sender answers every batch
// request with pre-built bytes, so the sender is not what is measured.
//
// usage: profile_read_bench [BATCHES [ROUNDS]]   (default 2000 batches, 3 rounds)
#include <sys/resource.h>

// The counting operator new below pairs malloc with free on purpose.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "core/command_codes.h"
#include "core/socket_layer.h"
#include "core/transport.h"
#include "core/wire.h"
#include "emulator/emulator.h"
#include "emulator/profile_generator.h"
#include "kelo_dll.h"

namespace {

constexpr std::uint32_t kProfilesPerBatch = 100;
constexpr const char* kAddress = "127.61.7.9";

// Heap allocations made by this program, to show the read path makes none.
std::atomic<unsigned long> gAllocations{0};

}  // namespace

void* operator new(std::size_t size) {
    ++gAllocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }

namespace {

using kelo::emu::Bytes;

Bytes buildBatch() {
    kelo::emu::ScannerConfig config;
    config.pointsPerProfile = KELO_PROFILE_MAX_POINTS;
    Bytes payload;
    kelo::emu::appendWord(payload, kProfilesPerBatch);
    for (std::uint32_t i = 0; i < kProfilesPerBatch; ++i) {
        kelo::emu::ProfileStamp stamp;
        stamp.sequence = i;
        stamp.timestampMicros = i * 500;
        stamp.mode = kelo::emu::SyncMode::Time;
        kelo::emu::appendProfileAnswer(payload, config, stamp);
    }
    return kelo::emu::answerBytes(kelo::kAnswerProfileBatch, payload);
}

bool sendAllRaw(kelo::net::Socket s, const std::uint8_t* data, std::size_t length) {
    while (length > 0) {
        const long sent = kelo::net::sendBytes(s, data, length);
        if (sent <= 0) return false;
        data += sent;
        length -= static_cast<std::size_t>(sent);
    }
    return true;
}

bool readAllRaw(kelo::net::Socket s, std::uint8_t* data, std::size_t length) {
    while (length > 0) {
        const long got = kelo::net::receiveBytes(s, data, length);
        if (got <= 0) return false;
        data += got;
        length -= static_cast<std::size_t>(got);
    }
    return true;
}

// Serves connections one after another: every command 38 gets the batch,
// everything else nothing; 102 or a closed peer ends the connection.
class Sender {
public:
    Sender(kelo::net::Socket listener, const Bytes& batch) : listener_(listener), batch_(batch) {
        thread_ = std::thread([this] { run(); });
    }
    ~Sender() {
        stop_ = true;
        thread_.join();
    }

private:
    void run() {
        while (!stop_) {
            const kelo::net::WaitResult wait = kelo::net::waitSocket(listener_, true, false, 0, 100000);
            if (wait.ready <= 0) continue;
            const kelo::net::Socket client = kelo::net::acceptConnection(listener_);
            if (client == kelo::net::kInvalidSocket) continue;
            kelo::net::setNoDelay(client);
            serve(client);
            kelo::net::closeSocket(client);
        }
    }
    void serve(kelo::net::Socket client) {
        std::uint8_t header[kelo::wire::kHeaderSize];
        std::uint8_t payload[64];
        while (readAllRaw(client, header, sizeof header)) {
            const std::uint32_t code = kelo::wire::getWord(header);
            const std::uint32_t length = kelo::wire::getWord(header + 4);
            if (length > sizeof payload || !readAllRaw(client, payload, length)) return;
            if (code == kelo::kCmdClose) return;
            if (code == kelo::kCmdMultipleProfileRequest &&
                !sendAllRaw(client, batch_.data(), batch_.size())) {
                return;
            }
        }
    }

    kelo::net::Socket listener_;
    const Bytes& batch_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

double threadCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Result {
    double seconds = 0;
    double cpuSeconds = 0;
    unsigned long profiles = 0;
    unsigned long allocations = 0;
    bool ok = false;
    double profilesPerSecond() const { return profiles / seconds; }
    double cpuMicrosPerProfile() const { return cpuSeconds * 1e6 / profiles; }
};

template <typename Body>
Result measure(unsigned long profiles, Body body) {
    Result result;
    const unsigned long allocationsBefore = gAllocations;
    const double cpuBefore = threadCpuSeconds();
    const auto started = std::chrono::steady_clock::now();
    result.ok = body();
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    result.cpuSeconds = threadCpuSeconds() - cpuBefore;
    result.allocations = gAllocations - allocationsBefore;
    result.profiles = profiles;
    return result;
}

// The library: one request always ahead of the read, as an application would.
Result runLibrary(std::uint32_t address, int batches) {
    ScannerConnection* scanner = lpOpenConnectionInt(address);
    if (scanner == nullptr || lpEnterTimeSyncMode(scanner) != KELO_OK) return {};
    std::vector<ProfileRecord> records(kProfilesPerBatch);
    ProfileRecord* array = records.data();
    Result result = measure(static_cast<unsigned long>(batches) * kProfilesPerBatch, [&] {
        if (lpSendMultipleProfileRequest(scanner, kProfilesPerBatch) != KELO_OK) return false;
        for (int b = 0; b < batches; ++b) {
            if (b + 1 < batches && lpSendMultipleProfileRequest(scanner, kProfilesPerBatch) != KELO_OK) {
                return false;
            }
            if (lpReadMultipleProfiles(scanner, array, kProfilesPerBatch) !=
                static_cast<int32_t>(kProfilesPerBatch)) {
                return false;
            }
        }
        return true;
    });
    if (records[kProfilesPerBatch - 1].pointCount != KELO_PROFILE_MAX_POINTS) result.ok = false;
    lpExitSyncMode(scanner);
    lpCloseConnection(scanner);
    return result;
}

// The baseline: the same requests, the same bytes, read whole into one buffer.
Result runBaseline(std::uint32_t address, int batches, std::size_t batchSize) {
    const kelo::net::Socket s = kelo::connectAddress(address, KELO_SCANNER_TCP_PORT);
    if (s == kelo::net::kInvalidSocket) return {};
    kelo::net::setNoDelay(s);
    const auto request = kelo::wire::buildCommand(kelo::kCmdMultipleProfileRequest, kProfilesPerBatch);
    std::vector<std::uint8_t> buffer(batchSize);
    std::uint8_t* destination = buffer.data();
    Result result = measure(static_cast<unsigned long>(batches) * kProfilesPerBatch, [&] {
        if (!sendAllRaw(s, request.data(), request.size())) return false;
        for (int b = 0; b < batches; ++b) {
            if (b + 1 < batches && !sendAllRaw(s, request.data(), request.size())) return false;
            if (!readAllRaw(s, destination, batchSize)) return false;
        }
        return true;
    });
    const auto close = kelo::wire::buildCommand(kelo::kCmdClose);
    sendAllRaw(s, close.data(), close.size());
    kelo::net::closeSocket(s);
    return result;
}

void print(const char* name, const Result& r) {
    std::printf("%-9s %9.0f profiles/s  %7.2f us CPU/profile  %5.3f s  %lu allocations%s\n", name,
                r.profilesPerSecond(), r.cpuMicrosPerProfile(), r.seconds, r.allocations,
                r.ok ? "" : "  (FAILED)");
}

}  // namespace

int main(int argc, char** argv) {
    const int batches = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    if (batches < 1 || batches > 1000000 || rounds < 1 || rounds > 100) {
        std::fprintf(stderr, "usage: profile_read_bench [BATCHES [ROUNDS]]\n");
        return 2;
    }
    if (!kelo::net::startup()) return 1;
    std::uint32_t address = 0;
    kelo::net::parseDottedAddress(kAddress, &address);
    const kelo::net::Socket listener = kelo::net::listenTcp(address, KELO_SCANNER_TCP_PORT, 4);
    if (listener == kelo::net::kInvalidSocket) {
        std::fprintf(stderr, "profile_read_bench: cannot listen on %s\n", kAddress);
        return 1;
    }
    const Bytes batch = buildBatch();
    std::printf("%d batches of %u profiles of %d points (%zu bytes per batch), %d rounds\n", batches,
                kProfilesPerBatch, KELO_PROFILE_MAX_POINTS, batch.size(), rounds);

    std::vector<Result> libraryRuns, baselineRuns;
    {
        Sender sender(listener, batch);
        // Alternating runs, so both see the same load on the machine.
        for (int round = 0; round < rounds; ++round) {
            // Which goes first changes from round to round.
            if (round % 2 == 0) baselineRuns.push_back(runBaseline(address, batches, batch.size()));
            libraryRuns.push_back(runLibrary(address, batches));
            if (round % 2 == 1) baselineRuns.push_back(runBaseline(address, batches, batch.size()));
            print("baseline", baselineRuns.back());
            print("library", libraryRuns.back());
        }
    }
    kelo::net::closeSocket(listener);
    for (const Result& r : libraryRuns) if (!r.ok) return 1;
    for (const Result& r : baselineRuns) if (!r.ok) return 1;

    auto median = [](std::vector<Result> runs, auto key) {
        std::sort(runs.begin(), runs.end(), [&](const Result& a, const Result& b) { return key(a) < key(b); });
        return key(runs[runs.size() / 2]);
    };
    auto rate = [](const Result& r) { return r.profilesPerSecond(); };
    auto cpu = [](const Result& r) { return r.cpuMicrosPerProfile(); };
    const double libraryRate = median(libraryRuns, rate), baselineRate = median(baselineRuns, rate);
    std::printf("median of %d: library %.0f profiles/s, %.2f us CPU/profile; baseline %.0f profiles/s, "
                "%.2f us CPU/profile\n",
                rounds, libraryRate, median(libraryRuns, cpu), baselineRate, median(baselineRuns, cpu));
    std::printf("library throughput: %.1f %% of the baseline (target 80 %%)\n",
                100.0 * libraryRate / baselineRate);
    return 0;
}
