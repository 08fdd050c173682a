// SPDX-License-Identifier: Apache-2.0
#include "plant_mode.h"

#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <mutex>
#include <string>

#include "run_clock.h"

namespace soak {
namespace {

// The emulators outlive a soak that died by at most this long.
constexpr double kEmulatorGrace = 120.0;
// How long the plant waits for its collector at the calm point and at the end.
constexpr double kCollectorWait = 120.0;
constexpr int kPollMs = 20;

class Printer : public FaultObserver {
public:
    void faultBegins(std::size_t scanner, std::size_t nth, FaultKind kind, double at) override {
        print("fault", scanner, nth, kind, at);
    }
    void faultEnds(std::size_t scanner, std::size_t nth, FaultKind kind, double at) override {
        print("normal", scanner, nth, kind, at);
    }

private:
    void print(const char* what, std::size_t scanner, std::size_t nth, FaultKind kind, double at) {
        std::lock_guard<std::mutex> lock(mutex_);
        std::printf("%s %.6f %zu %zu %s\n", what, at, scanner, nth, faultName(kind));
        std::fflush(stdout);
    }
    std::mutex mutex_;
};

// Standard input, line by line, without blocking longer than a poll.
class Input {
public:
    // Waits until `until` for a line; "" when none came; false at the end.
    bool line(double until, std::string* line) {
        line->clear();
        for (;;) {
            const std::size_t end = buffer_.find('\n');
            if (end != std::string::npos) {
                *line = buffer_.substr(0, end);
                buffer_.erase(0, end + 1);
                return true;
            }
            if (closed_) return false;
            if (monotonicSeconds() >= until) return true;
            pollfd in{0, POLLIN, 0};
            if (poll(&in, 1, kPollMs) <= 0) continue;
            char bytes[256];
            const ssize_t got = read(0, bytes, sizeof bytes);
            if (got <= 0) closed_ = true;
            if (got > 0) buffer_.append(bytes, static_cast<std::size_t>(got));
        }
    }
    bool closed() const { return closed_; }

private:
    std::string buffer_;
    bool closed_ = false;
};

// Until `until`, or until the word comes on standard input (none: until
// `until`); false when the input ended.
bool waitFor(Input& input, double until, const char* word) {
    std::string line;
    while (monotonicSeconds() < until) {
        if (!input.line(until, &line)) return false;
        if (word != nullptr && line == word) return true;
    }
    return true;
}

}  // namespace

PlantSettings plantSettings(const Options& options) {
    PlantSettings settings;
    settings.emulator = options.emulator;
    for (const Target& target : options.targets) settings.addresses.push_back(target.host);
    settings.port = options.port;
    settings.firstSerial = options.targets.front().serial;
    settings.rateHz = options.rateHz;
    settings.lifetime = options.seconds + kEmulatorGrace + 2 * kCollectorWait;
    return settings;
}

int runPlant(const Options& options) {
    Plant plant(plantSettings(options));
    if (!plant.start()) return 1;
    for (std::size_t s = 0; s < options.targets.size(); ++s) {
        std::printf("emulator %zu %s %u %u\n", s, options.targets[s].host.c_str(), options.port,
                    options.targets[s].serial);
    }
    const double t0 = monotonicSeconds();
    std::printf("ready %.6f\n", t0);
    std::fflush(stdout);
    Printer printer;
    Input input;
    plant.run(makeSchedule(options.seed, ScheduleShape{options.seconds, options.targets.size(), options.baselineAt}),
              t0, printer);
    bool open = waitFor(input, t0 + options.baselineAt, nullptr);
    if (open) {
        plant.hold();
        std::printf("calm %.6f\n", monotonicSeconds());
        std::fflush(stdout);
        open = waitFor(input, monotonicSeconds() + kCollectorWait, "resume");
        plant.resume();
    }
    if (open) open = waitFor(input, t0 + options.seconds + plant.delay(), nullptr);
    plant.finish();
    std::printf("end %.6f\n", monotonicSeconds());
    std::fflush(stdout);
    if (open) waitFor(input, monotonicSeconds() + kCollectorWait, nullptr);
    const int unclean = plant.stop();
    return plant.unexpectedEnds() + unclean == 0 ? 0 : 1;
}

}  // namespace soak
