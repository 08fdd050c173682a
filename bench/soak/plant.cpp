// SPDX-License-Identifier: Apache-2.0
#include "plant.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "run_clock.h"

namespace soak {
namespace {

constexpr double kPoll = 0.01;
constexpr double kStartLimit = 10.0;

// Whether something accepts connections at address:port (on loopback a
// connect is refused or made at once).
bool accepts(const std::string& address, std::uint32_t port) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(port));
    if (inet_pton(AF_INET, address.c_str(), &to.sin_addr) != 1) return false;
    const int probe = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (probe < 0) return false;
    const bool made = connect(probe, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0;
    close(probe);
    return made;
}

}  // namespace

Plant::Plant(PlantSettings settings) : settings_(std::move(settings)) {
    for (std::size_t i = 0; i < settings_.addresses.size(); ++i) {
        emulators_.push_back(std::make_unique<EmulatorProcess>(
            settings_.emulator,
            std::vector<std::string>{"--bind", settings_.addresses[i], "--port", std::to_string(settings_.port),
                                     "--serial", std::to_string(settings_.firstSerial + i), "--rate",
                                     std::to_string(settings_.rateHz), "--seconds",
                                     std::to_string(static_cast<long>(settings_.lifetime))}));
    }
    marks_.assign(emulators_.size(), 1);
    counts_.assign(emulators_.size(), 0);
}

Plant::~Plant() {
    finishing_ = true;
    if (thread_.joinable()) thread_.join();
    stop();
}

bool Plant::start() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (std::size_t i = 0; i < emulators_.size(); ++i) {
        if (!emulators_[i]->start(marks_[i])) return false;
    }
    // Listening before the first collector connects, so that a refused
    // connect always means a fault.
    const double until = monotonicSeconds() + kStartLimit;
    for (const std::string& address : settings_.addresses) {
        while (!accepts(address, settings_.port)) {
            if (monotonicSeconds() > until) {
                std::fprintf(stderr, "soak: no emulator listens on %s:%u\n", address.c_str(), settings_.port);
                return false;
            }
            sleepSeconds(kPoll);
        }
    }
    return true;
}

void Plant::run(std::vector<Episode> schedule, double t0, FaultObserver& observer) {
    thread_ = std::thread([this, schedule = std::move(schedule), t0, &observer] { inject(schedule, t0, observer); });
}

void Plant::inject(const std::vector<Episode>& schedule, double t0, FaultObserver& observer) {
    std::vector<Edge> edges;
    for (std::size_t i = 0; i < schedule.size(); ++i) {
        edges.push_back(Edge{t0 + schedule[i].start, i, true});
        edges.push_back(Edge{t0 + schedule[i].start + schedule[i].length, i, false});
    }
    std::stable_sort(edges.begin(), edges.end(), [](const Edge& a, const Edge& b) { return a.at < b.at; });
    std::vector<std::size_t> nth(schedule.size());
    for (std::size_t i = 0; i < schedule.size(); ++i) nth[i] = counts_[schedule[i].scanner]++;
    for (const Edge& edge : edges) {
        if (!waitFor(edge.at)) return;
        const Episode& episode = schedule[edge.episode];
        std::lock_guard<std::mutex> lock(mutex_);
        // Told before a fault begins and after it ends, so that whatever
        // the application meets falls within it.
        if (edge.begins) observer.faultBegins(episode.scanner, nth[edge.episode], episode.kind, monotonicSeconds());
        apply(episode, edge.begins);
        if (!edge.begins) observer.faultEnds(episode.scanner, nth[edge.episode], episode.kind, monotonicSeconds());
    }
    while (waitFor(1e300)) {
    }
}

// Waits until due plus the time held so far; false once finishing.
bool Plant::waitFor(double due) {
    double last = monotonicSeconds();
    while (!finishing_) {
        const double now = monotonicSeconds();
        if (held_) delay_ = delay_ + (now - last);
        last = now;
        if (!held_ && now >= due + delay_) return true;
        lookAfterEmulators();
        sleepSeconds(std::min(kPoll, due + delay_ - now));
    }
    return false;
}

void Plant::apply(const Episode& episode, bool begins) {
    EmulatorProcess& emulator = *emulators_[episode.scanner];
    if (episode.kind != FaultKind::Restart) {
        emulator.command(std::string("fault ") + (begins ? faultName(episode.kind) : "none"));
    } else if (begins) {
        emulator.kill();
    } else {
        emulator.start(++marks_[episode.scanner]);
    }
}

void Plant::lookAfterEmulators() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (std::size_t i = 0; i < emulators_.size(); ++i) {
        if (!emulators_[i]->ended()) continue;
        ++unexpectedEnds_;
        std::fprintf(stderr, "soak: the emulator on %s ended by itself; started again\n",
                     settings_.addresses[i].c_str());
        emulators_[i]->start(++marks_[i]);
    }
}

void Plant::finish() {
    if (finishing_) return;
    finishing_ = true;
    if (thread_.joinable()) thread_.join();
    std::lock_guard<std::mutex> lock(mutex_);
    for (std::size_t i = 0; i < emulators_.size(); ++i) {
        if (!emulators_[i]->running()) emulators_[i]->start(++marks_[i]);
        emulators_[i]->command("fault none");
    }
}

int Plant::stop() {
    std::lock_guard<std::mutex> lock(mutex_);
    int unclean = 0;
    for (auto& emulator : emulators_) {
        if (emulator->running() && !emulator->stop()) ++unclean;
    }
    return unclean;
}

}  // namespace soak
