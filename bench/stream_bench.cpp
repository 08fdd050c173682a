// SPDX-License-Identifier: Apache-2.0
// kelo::Stream beside lpReadMultipleProfiles in a plain loop: both read
// batches of 100 profiles of 243 points from the benchmark sender over
// loopback and touch every point of every profile (a sum). The stream hands
// each batch to a callback; the loop keeps one request ahead of its read,
// as an application written against the C API would. Rounds alternate
// which goes first; each run is timed from its 50th batch on, so what is
// measured is the stream running, and its heap allocations (every thread
// of the program) are counted over the same batches.
//
// usage: stream_bench [BATCHES [ROUNDS]]   (default 10000 batches, 7 rounds:
// runs of under a second, which a busy machine disturbs less than shorter ones)
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "kelo_dll/kelo.hpp"
#include "support/allocation_count.h"
#include "support/batch_sender.h"

namespace {

using Clock = std::chrono::steady_clock;
using kelo::bench::kProfilesPerBatch;

constexpr const char* kAddress = "127.61.7.10";
constexpr int kWarmUpBatches = 50;

std::int64_t touch(const ProfileRecord* profiles, std::size_t count) {
    std::int64_t sum = 0;
    for (std::size_t p = 0; p < count; ++p) {
        for (std::int32_t i = 0; i < profiles[p].pointCount; ++i) {
            sum += profiles[p].points[i][0] + profiles[p].points[i][1] + profiles[p].points[i][2];
        }
    }
    return sum;
}

struct Run {
    double seconds = 0;
    unsigned long allocations = 0;
    std::int64_t lastSum = 0;  // of the last batch: both readers get the same bytes
    bool ok = false;
    double profilesPerSecond(int batches) const { return batches * double{kProfilesPerBatch} / seconds; }
};

// The measured stretch of a run: from the end of the warm-up to the last batch.
class Window {
public:
    explicit Window(int batches) : last_(kWarmUpBatches + batches) {}
    // Called with every batch as it is handled; true for the last.
    bool count(Run& run) {
        ++handled_;
        if (handled_ == kWarmUpBatches) {
            started_ = Clock::now();
            allocations_ = kelo::bench::allocationCount();
        }
        if (handled_ != last_) return false;
        run.seconds = std::chrono::duration<double>(Clock::now() - started_).count();
        run.allocations = kelo::bench::allocationCount() - allocations_;
        return true;
    }

private:
    int handled_ = 0;
    const int last_;
    Clock::time_point started_;
    unsigned long allocations_ = 0;
};

Run runPlainLoop(std::uint32_t address, int batches) {
    Run run;
    ScannerConnection* scanner = lpOpenConnectionInt(address);
    if (scanner == nullptr || lpEnterTimeSyncMode(scanner) != KELO_OK) return run;
    std::vector<ProfileRecord> records(kProfilesPerBatch);
    Window window(batches);
    bool ok = lpSendMultipleProfileRequest(scanner, kProfilesPerBatch) == KELO_OK;
    while (ok) {
        ok = lpSendMultipleProfileRequest(scanner, kProfilesPerBatch) == KELO_OK &&
             lpReadMultipleProfiles(scanner, records.data(), kProfilesPerBatch) ==
                 static_cast<std::int32_t>(kProfilesPerBatch);
        run.lastSum = touch(records.data(), kProfilesPerBatch);
        if (ok && window.count(run)) break;
    }
    run.ok = ok;
    lpExitSyncMode(scanner);
    lpCloseConnection(scanner);
    return run;
}

Run runStream(int batches) {
    Run run;
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    bool counted = false;  // the callback's own: batches after the last are not counted
    Window window(batches);
    try {
        kelo::Scanner scanner(kAddress);
        kelo::StreamOptions options;
        options.batchSize = kProfilesPerBatch;
        kelo::Stream stream(
            scanner, options,
            [&](const kelo::Batch<ProfileRecord>& batch) {
                if (counted) return;
                const std::int64_t sum = touch(batch.data(), batch.size());
                if (batch.size() != kProfilesPerBatch || window.count(run)) {
                    run.lastSum = sum;
                    counted = true;
                    std::lock_guard<std::mutex> lock(mutex);
                    done = true;
                    finished.notify_one();
                }
            },
            [&](const kelo::Error& error) {
                std::fprintf(stderr, "stream_bench: %s\n", error.what());
                std::lock_guard<std::mutex> lock(mutex);
                done = true;
                finished.notify_one();
            });
        {
            std::unique_lock<std::mutex> lock(mutex);
            finished.wait(lock, [&] { return done; });
        }
        run.ok = run.seconds > 0;
        stream.stop();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "stream_bench: %s\n", error.what());
        run.ok = false;
    }
    return run;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int batches = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 7;
    if (batches < 1 || batches > 1000000 || rounds < 1 || rounds > 100) {
        std::fprintf(stderr, "usage: stream_bench [BATCHES [ROUNDS]]\n");
        return 2;
    }
    if (!kelo::net::startup()) return 1;
    std::uint32_t address = 0;
    kelo::net::parseDottedAddress(kAddress, &address);
    const kelo::net::Socket listener = kelo::bench::listenOnScannerPort("stream_bench", kAddress);
    if (listener == kelo::net::kInvalidSocket) return 1;
    const kelo::emu::Bytes batch = kelo::bench::buildBatch();
    const kelo::emu::Bytes single = kelo::bench::buildSingle();
    std::printf("%d batches of %u profiles of %d points after %d to warm up, %d rounds\n", batches,
                kProfilesPerBatch, KELO_PROFILE_MAX_POINTS, kWarmUpBatches, rounds);

    std::vector<double> ratios, streamRates, loopRates;
    unsigned long allocations = 0;
    bool ok = true;
    {
        kelo::bench::Sender sender(listener, batch, single);
        for (int round = 0; round < rounds && ok; ++round) {
            Run loop, stream;
            if (round % 2 == 0) {
                loop = runPlainLoop(address, batches);
                stream = runStream(batches);
            } else {
                stream = runStream(batches);
                loop = runPlainLoop(address, batches);
            }
            ok = loop.ok && stream.ok && loop.lastSum == stream.lastSum;
            std::printf("round %d: batch reader %9.0f profiles/s, stream %9.0f profiles/s, "
                        "%lu allocations in the stream's run%s\n",
                        round + 1, loop.profilesPerSecond(batches), stream.profilesPerSecond(batches),
                        stream.allocations, ok ? "" : "  (FAILED)");
            ratios.push_back(stream.profilesPerSecond(batches) / loop.profilesPerSecond(batches));
            streamRates.push_back(stream.profilesPerSecond(batches));
            loopRates.push_back(loop.profilesPerSecond(batches));
            allocations += stream.allocations;
        }
    }
    kelo::net::closeSocket(listener);
    if (!ok) {
        std::printf("a run FAILED\n");
        return 1;
    }
    std::printf("median of %d rounds: stream %.0f profiles/s, batch reader %.0f profiles/s\n", rounds,
                median(streamRates), median(loopRates));
    std::printf("stream throughput: %.1f %% of the batch reader (target 95 %%)\n", 100.0 * median(ratios));
    std::printf("allocations per batch once running: %.3f (target 0)\n",
                static_cast<double>(allocations) / (static_cast<double>(batches) * rounds));
    return 0;
}
