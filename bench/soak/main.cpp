// SPDX-License-Identifier: Apache-2.0
// soak: many scanners, every fault, nothing lost or leaked (see --help).
#include <malloc.h>

#include <csignal>
#include <cstdio>
#include <memory>
#include <vector>

#include "collector.h"
#include "plant.h"
#include "plant_mode.h"
#include "process_usage.h"
#include "run_clock.h"
#include "soak_options.h"
#include "soak_report.h"

namespace soak {
namespace {

// How long the scanners get to stream again before usage is taken, and to
// end their streams at the end.
constexpr double kSettleLimit = 15.0;
constexpr double kEndLimit = 20.0;
constexpr double kWatchEvery = 0.05;
// glibc serves allocations from this size on with mmap, and gives them back
// to the system when freed.
constexpr int kMmapThreshold = 128 * 1024;

// glibc raises its mmap threshold after the first large block is freed, and
// from then on keeps a stream's batch memory, once freed, in its heaps,
// still resident. A fixed threshold makes resident memory follow what is
// allocated, so that its growth tells of memory kept, not of the
// allocator's caching.
void fixMmapThreshold() { mallopt(M_MMAP_THRESHOLD, kMmapThreshold); }

// Forwards the plant's faults to the collector of their scanner.
class ToCollectors : public FaultObserver {
public:
    explicit ToCollectors(std::vector<std::unique_ptr<Collector>>& collectors) : collectors_(collectors) {}
    void faultBegins(std::size_t scanner, std::size_t nth, FaultKind, double at) override {
        collectors_[scanner]->faultBegins(nth, at);
    }
    void faultEnds(std::size_t scanner, std::size_t nth, FaultKind, double at) override {
        collectors_[scanner]->faultEnds(nth, at);
    }

private:
    std::vector<std::unique_ptr<Collector>>& collectors_;
};

// Waits until the monotonic time `until` (or `done`), looking for hangs.
template <typename Done>
bool watchUntil(CallTimer& timer, double until, Done done) {
    while (!done()) {
        timer.watch();
        if (monotonicSeconds() >= until) return false;
        sleepSeconds(kWatchEvery);
    }
    return true;
}

// Until every scanner has delivered a batch since now (lost ones aside).
bool settle(CallTimer& timer, const std::vector<std::unique_ptr<Collector>>& collectors) {
    const double since = monotonicSeconds();
    return watchUntil(timer, since + kSettleLimit, [&] {
        for (const auto& collector : collectors) {
            if (!collector->lost() && !collector->streamingSince(since)) return false;
        }
        return true;
    });
}

int runSoak(const Options& options) {
    std::vector<Episode> schedule;
    if (options.emulated) {
        schedule = makeSchedule(options.seed, ScheduleShape{options.seconds, options.targets.size(), options.baselineAt});
    }
    CallTimer timer(options.targets.size());
    std::vector<std::unique_ptr<Collector>> collectors;
    for (std::size_t s = 0; s < options.targets.size(); ++s) {
        std::vector<FaultKind> faults;
        for (const Episode& episode : schedule) {
            if (episode.scanner == s) faults.push_back(episode.kind);
        }
        collectors.push_back(std::make_unique<Collector>(s, options.targets[s], options.collector, timer, faults));
    }
    std::unique_ptr<Plant> plant;
    if (options.emulated) {
        plant = std::make_unique<Plant>(plantSettings(options));
        if (!plant->start()) return 1;
    }
    std::printf("soak: %zu %s from %s, %.0f s, seed %llu, %zu faults scheduled, baseline after %.0f s\n",
                options.targets.size(), options.emulated ? "emulated scanners" : "scanners",
                options.targets.front().host.c_str(), options.seconds,
                static_cast<unsigned long long>(options.seed), schedule.size(), options.baselineAt);
    std::fflush(stdout);

    const double t0 = monotonicSeconds();
    for (auto& collector : collectors) collector->start();
    ToCollectors observer(collectors);
    if (plant) plant->run(schedule, t0, observer);
    auto never = [] { return false; };
    RunFigures run;
    run.emulated = options.emulated;
    run.rssLimitKiB = options.rssLimitKiB;

    watchUntil(timer, t0 + options.baselineAt, never);
    if (plant) plant->hold();
    run.settledAtBaseline = settle(timer, collectors);
    run.baseline = currentUsage();
    if (plant) plant->resume();

    // The schedule ends quietly: every scanner runs normally by now.
    watchUntil(timer, t0 + options.seconds + (plant ? plant->delay() : 0), never);
    run.settledAtEnd = settle(timer, collectors);
    run.end = currentUsage();
    run.seconds = monotonicSeconds() - t0;
    if (plant) plant->finish();

    for (auto& collector : collectors) collector->requestStop();
    const bool ended = watchUntil(timer, monotonicSeconds() + kEndLimit, [&] {
        for (const auto& collector : collectors) {
            if (!collector->ended()) return false;
        }
        return true;
    });
    if (!ended) {
        // A call that never returns cannot be joined: report and leave.
        report(collectors, timer, run);
        std::fflush(stdout);
        std::_Exit(1);
    }
    for (auto& collector : collectors) collector->join();
    if (plant) run.emulatorsFailed = plant->unexpectedEnds() + plant->stop();
    return report(collectors, timer, run) ? 0 : 1;
}

}  // namespace
}  // namespace soak

int main(int argc, char** argv) {
    soak::Options options;
    int exitCode = 0;
    if (!soak::parseOptions(argc, argv, &options, &exitCode)) return exitCode;
    // A dead emulator's control channel must not end the soak.
    std::signal(SIGPIPE, SIG_IGN);
    soak::fixMmapThreshold();
    return options.plant ? soak::runPlant(options) : soak::runSoak(options);
}
