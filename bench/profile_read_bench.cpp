// SPDX-License-Identifier: Apache-2.0
// Batch reads of 100 profiles of 243 points over loopback: the library's
// lpReadMultipleProfiles against two baselines that read the same bytes
// with plain blocking recv into one buffer, the second also turning every
// word of every profile into host order in an array of records (the same
// work without any protocol). A minimal sender answers every request with
// pre-built bytes, so the sender is not what is measured. Then single
// profiles: lpGetProfile against a raw ping-pong of the same sizes.
//
// usage: profile_read_bench [BATCHES [ROUNDS]]   (default 2000 batches, 7 rounds)
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
#include "core/byte_order.h"
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

void appendProfile(Bytes& out, std::uint32_t sequence) {
    kelo::emu::ScannerConfig config;
    config.pointsPerProfile = KELO_PROFILE_MAX_POINTS;
    kelo::emu::ProfileStamp stamp;
    stamp.sequence = sequence;
    stamp.timestampMicros = sequence * 500;
    stamp.mode = kelo::emu::SyncMode::Time;
    kelo::emu::appendProfileAnswer(out, config, stamp);
}

Bytes buildBatch() {
    Bytes payload;
    kelo::emu::appendWord(payload, kProfilesPerBatch);
    for (std::uint32_t i = 0; i < kProfilesPerBatch; ++i) appendProfile(payload, i);
    return kelo::emu::answerBytes(kelo::kAnswerProfileBatch, payload);
}

Bytes buildSingle() {
    Bytes answer;
    appendProfile(answer, 1);
    return answer;
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
    Sender(kelo::net::Socket listener, const Bytes& batch, const Bytes& single)
        : listener_(listener), batch_(batch), single_(single) {
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
            if (code == kelo::kCmdProfileRequest && !sendAllRaw(client, single_.data(), single_.size())) {
                return;
            }
        }
    }

    kelo::net::Socket listener_;
    const Bytes& batch_;
    const Bytes& single_;
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

// The baselines: the same requests, the same bytes, read whole into one
// buffer; with `swap`, every profile's words are then turned into host
// order into an array of records, as the library's records hold them.
Result runBaseline(std::uint32_t address, int batches, std::size_t batchSize, bool swap) {
    const kelo::net::Socket s = kelo::connectAddress(address, KELO_SCANNER_TCP_PORT);
    if (s == kelo::net::kInvalidSocket) return {};
    kelo::net::setNoDelay(s);
    const auto request = kelo::wire::buildCommand(kelo::kCmdMultipleProfileRequest, kProfilesPerBatch);
    std::vector<std::uint8_t> buffer(batchSize);
    std::vector<ProfileRecord> records(kProfilesPerBatch);
    std::uint8_t* destination = buffer.data();
    constexpr std::size_t kLead = kelo::wire::kHeaderSize + kelo::wire::kWordSize;
    constexpr std::size_t kAnswer = kelo::wire::kHeaderSize + sizeof(ProfileRecord);
    Result result = measure(static_cast<unsigned long>(batches) * kProfilesPerBatch, [&] {
        if (!sendAllRaw(s, request.data(), request.size())) return false;
        for (int b = 0; b < batches; ++b) {
            if (b + 1 < batches && !sendAllRaw(s, request.data(), request.size())) return false;
            if (!readAllRaw(s, destination, batchSize)) return false;
            if (!swap) continue;
            for (std::uint32_t i = 0; i < kProfilesPerBatch; ++i) {
                kelo::copyWordsToHost(&records[i], destination + kLead + i * kAnswer + kelo::wire::kHeaderSize,
                                      sizeof(ProfileRecord) / 4);
            }
        }
        return true;
    });
    if (swap && records[kProfilesPerBatch - 1].pointCount != KELO_PROFILE_MAX_POINTS) result.ok = false;
    const auto close = kelo::wire::buildCommand(kelo::kCmdClose);
    sendAllRaw(s, close.data(), close.size());
    kelo::net::closeSocket(s);
    return result;
}

// Single profiles: the median time of one request and its answer, through
// lpGetProfile or as a raw ping-pong of the same bytes.
double medianRoundTripMicros(std::uint32_t address, int calls, bool raw, std::size_t answerSize) {
    std::vector<double> micros;
    micros.reserve(static_cast<std::size_t>(calls));
    if (raw) {
        const kelo::net::Socket s = kelo::connectAddress(address, KELO_SCANNER_TCP_PORT);
        if (s == kelo::net::kInvalidSocket) return -1;
        kelo::net::setNoDelay(s);
        const auto request = kelo::wire::buildCommand(kelo::kCmdProfileRequest);
        std::vector<std::uint8_t> answer(answerSize);
        for (int i = 0; i < calls; ++i) {
            const auto started = std::chrono::steady_clock::now();
            if (!sendAllRaw(s, request.data(), request.size()) || !readAllRaw(s, answer.data(), answerSize)) {
                return -1;
            }
            micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - started).count());
        }
        kelo::net::closeSocket(s);
    } else {
        ScannerConnection* scanner = lpOpenConnectionInt(address);
        if (scanner == nullptr) return -1;
        ProfileRecord record;
        for (int i = 0; i < calls; ++i) {
            const auto started = std::chrono::steady_clock::now();
            if (lpGetProfile(scanner, &record) != KELO_OK) return -1;
            micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - started).count());
        }
        lpCloseConnection(scanner);
    }
    std::sort(micros.begin(), micros.end());
    return micros[micros.size() / 2];
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void print(const char* name, const Result& r) {
    std::printf("%-10s %9.0f profiles/s  %7.2f us CPU/profile  %5.3f s  %lu allocations%s\n", name,
                r.profilesPerSecond(), r.cpuMicrosPerProfile(), r.seconds, r.allocations,
                r.ok ? "" : "  (FAILED)");
}

}  // namespace

int main(int argc, char** argv) {
    const int batches = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 7;
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
    const Bytes single = buildSingle();
    std::printf("%d batches of %u profiles of %d points (%zu bytes per batch), %d rounds\n", batches,
                kProfilesPerBatch, KELO_PROFILE_MAX_POINTS, batch.size(), rounds);

    std::vector<double> throughputRatios, cpuRatios, libraryRates, recvRates;
    std::vector<double> libraryCalls, rawCalls;
    unsigned long allocations = 0;
    bool ok = true;
    {
        Sender sender(listener, batch, single);
        // Interleaved runs, the order turning from round to round, so all
        // three see the same load on the machine.
        for (int round = 0; round < rounds; ++round) {
            Result plain, swapping, library;
            for (int slot = 0; slot < 3; ++slot) {
                switch ((slot + round) % 3) {
                    case 0: plain = runBaseline(address, batches, batch.size(), false); break;
                    case 1: swapping = runBaseline(address, batches, batch.size(), true); break;
                    case 2: library = runLibrary(address, batches); break;
                }
            }
            print("recv", plain);
            print("recv+swap", swapping);
            print("library", library);
            ok = ok && plain.ok && swapping.ok && library.ok;
            if (!ok) break;
            throughputRatios.push_back(library.profilesPerSecond() / plain.profilesPerSecond());
            cpuRatios.push_back(library.cpuMicrosPerProfile() / swapping.cpuMicrosPerProfile());
            libraryRates.push_back(library.profilesPerSecond());
            recvRates.push_back(plain.profilesPerSecond());
            allocations += library.allocations;
            libraryCalls.push_back(medianRoundTripMicros(address, 2000, false, single.size()));
            rawCalls.push_back(medianRoundTripMicros(address, 2000, true, single.size()));
        }
    }
    kelo::net::closeSocket(listener);
    if (!ok) {
        std::printf("a run FAILED\n");
        return 1;
    }
    std::printf("median of %d rounds: library %.0f profiles/s, plain recv %.0f profiles/s; "
                "%lu allocations in all library reads\n",
                rounds, median(libraryRates), median(recvRates), allocations);
    const double libraryCall = median(libraryCalls), rawCall = median(rawCalls);
    std::printf("single profile round trip: lpGetProfile %.1f us, raw ping-pong %.1f us, "
                "difference %.1f us (target 3 us)\n",
                libraryCall, rawCall, libraryCall - rawCall);
    std::printf("library throughput: %.1f %% of the baseline (target 85 %%)\n",
                100.0 * median(throughputRatios));
    std::printf("library CPU per profile: %.2f x the byte-swapping baseline (target 1.3)\n",
                median(cpuRatios));
    return 0;
}
