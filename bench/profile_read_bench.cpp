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

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/byte_order.h"
#include "core/command_codes.h"
#include "core/socket_layer.h"
#include "core/transport.h"
#include "core/wire.h"
#include "kelo_dll.h"
#include "support/allocation_count.h"
#include "support/batch_sender.h"

namespace {

using kelo::bench::kProfilesPerBatch;
using kelo::bench::readAllRaw;
using kelo::bench::sendAllRaw;
using kelo::emu::Bytes;

constexpr const char* kAddress = "127.61.7.9";

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
    const unsigned long allocationsBefore = kelo::bench::allocationCount();
    const double cpuBefore = threadCpuSeconds();
    const auto started = std::chrono::steady_clock::now();
    result.ok = body();
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    result.cpuSeconds = threadCpuSeconds() - cpuBefore;
    result.allocations = kelo::bench::allocationCount() - allocationsBefore;
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
    const kelo::net::Socket listener = kelo::bench::listenOnScannerPort("profile_read_bench", kAddress);
    if (listener == kelo::net::kInvalidSocket) return 1;
    const Bytes batch = kelo::bench::buildBatch();
    const Bytes single = kelo::bench::buildSingle();
    std::printf("%d batches of %u profiles of %d points (%zu bytes per batch), %d rounds\n", batches,
                kProfilesPerBatch, KELO_PROFILE_MAX_POINTS, batch.size(), rounds);

    std::vector<double> throughputRatios, cpuRatios, libraryRates, recvRates;
    std::vector<double> libraryCalls, rawCalls;
    unsigned long allocations = 0;
    bool ok = true;
    {
        kelo::bench::Sender sender(listener, batch, single);
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
