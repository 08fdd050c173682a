/* SPDX-License-Identifier: Apache-2.0 */
// The scanners of a soak: one emulator process per scanner on its own
// loopback address, and a thread that runs the fault schedule against them
// (fault modes through each emulator's control channel; restarts by
// killing the process and starting it again, its stamp mark one higher).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "emulator_process.h"
#include "fault_schedule.h"

namespace soak {

struct PlantSettings {
    std::string emulator;  // the program
    std::vector<std::string> addresses;
    std::uint32_t port = 0;
    std::uint32_t firstSerial = 0;
    double rateHz = 0;
    double lifetime = 0;  // seconds an emulator lives at most, should the soak die
};

// Told of each fault as it begins and ends (on the plant's thread).
class FaultObserver {
public:
    virtual ~FaultObserver() = default;
    // nth: the fault's number among this scanner's faults.
    virtual void faultBegins(std::size_t scanner, std::size_t nth, FaultKind kind, double at) = 0;
    virtual void faultEnds(std::size_t scanner, std::size_t nth, FaultKind kind, double at) = 0;
};

class Plant {
public:
    explicit Plant(PlantSettings settings);
    Plant(const Plant&) = delete;
    Plant& operator=(const Plant&) = delete;
    ~Plant();

    // Starts every emulator; false when one could not be started.
    bool start();
    // Runs the schedule on a thread of its own, times counted from t0.
    void run(std::vector<Episode> schedule, double t0, FaultObserver& observer);
    // While held, nothing is injected and the rest of the schedule moves
    // later by the time held.
    void hold() { held_ = true; }
    void resume() { held_ = false; }
    double delay() const { return delay_; }
    // Ends the schedule: every fault ends, every emulator runs normally.
    void finish();
    // Ends the emulators; the number that did not end cleanly (a
    // sanitizer's report ends one with another status).
    int stop();
    // Emulators that ended without being asked to.
    int unexpectedEnds() const { return unexpectedEnds_; }

private:
    struct Edge {
        double at;
        std::size_t episode;
        bool begins;
    };
    void inject(const std::vector<Episode>& schedule, double t0, FaultObserver& observer);
    bool waitFor(double due);
    void apply(const Episode& episode, bool begins);
    void lookAfterEmulators();

    PlantSettings settings_;
    std::vector<std::unique_ptr<EmulatorProcess>> emulators_;
    std::vector<std::uint32_t> marks_;
    std::vector<std::size_t> counts_;
    std::atomic<bool> held_{false};
    std::atomic<bool> finishing_{false};
    std::atomic<double> delay_{0};
    std::atomic<int> unexpectedEnds_{0};
    std::mutex mutex_;  // the emulators, between the plant's thread and finish()
    std::thread thread_;
};

}  // namespace soak
