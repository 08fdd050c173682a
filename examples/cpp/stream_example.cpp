// SPDX-License-Identifier: Apache-2.0
// Streams profiles from a scanner for a few seconds, then prints how many
// came and the height range of the last one.
//
// usage: kelo_stream_example HOST [SECONDS]
#include <kelo_dll/kelo.hpp>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <iostream>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: kelo_stream_example HOST [SECONDS]\n";
        return 2;
    }
    const auto seconds = std::chrono::seconds(argc > 2 ? std::atoi(argv[2]) : 5);
    try {
        // Connects now, closes when it goes out of scope.
        kelo::Scanner scanner(argv[1]);

        // Enters time sync and keeps batch requests in flight on a thread of
        // its own; stop() or the destructor leave sync mode again.
        kelo::StreamOptions options;
        options.sync = kelo::Sync::time();  // or kelo::Sync::encoder(), kelo::Sync::pulse(10000)
        options.batchSize = 100;
        kelo::Stream stream(scanner, options);

        std::uint64_t received = 0;
        ProfileRecord last{};
        const auto until = std::chrono::steady_clock::now() + seconds;
        while (std::chrono::steady_clock::now() < until) {
            kelo::Batch<ProfileRecord> batch;
            try {
                batch = stream.pop(std::chrono::milliseconds(500));
            } catch (const kelo::Error& error) {
                // A silent scanner is reported and the stream goes on waiting;
                // any other failure has ended the stream.
                if (!error.timedOut() || !stream.running()) throw;
                std::cerr << error.what() << '\n';
                continue;
            }
            if (!batch) continue;  // nothing within 500 ms
            for (const ProfileRecord& profile : batch) {
                last = profile;  // profile.points[i][0..2] for i < profile.pointCount
            }
            received += batch.size();
        }
        stream.stop();

        std::int32_t lowest = 0, highest = 0;
        for (std::int32_t i = 0; i < last.pointCount; ++i) {
            const std::int32_t height = last.points[i][1];
            if (i == 0 || height < lowest) lowest = height;
            if (i == 0 || height > highest) highest = height;
        }
        std::cout << received << " profiles from " << argv[1] << "; the last has " << last.pointCount
                  << " points, heights " << lowest << " to " << highest << '\n';
    } catch (const kelo::Error& error) {
        std::cerr << "kelo_stream_example: " << error.what() << '\n';
        return 1;
    }
    return 0;
}
