/* SPDX-License-Identifier: Apache-2.0 */
// Hangs: a call that outlives its time-out by more than a second. Each
// collector times its calls in a slot of its own; the main thread looks at
// the calls still running, so that a call that never returns is counted
// too.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace soak {

inline constexpr double kHangGrace = 1.0;

class CallTimer {
public:
    explicit CallTimer(std::size_t slots);

    // Times one call from construction to destruction.
    class Call {
    public:
        Call(CallTimer& timer, std::size_t slot, const char* what, std::chrono::milliseconds bound);
        Call(const Call&) = delete;
        Call& operator=(const Call&) = delete;
        ~Call();

    private:
        CallTimer& timer_;
        std::size_t slot_;
    };

    // Counts the calls running past their bound and grace; called often.
    void watch();
    std::uint64_t hangs() const;
    // What the first hangs were, one line each.
    std::vector<std::string> notes() const;

private:
    struct Slot {
        const char* what = nullptr;
        double started = 0;
        double bound = 0;
        bool running = false;
        bool counted = false;
    };
    void count(const Slot& slot, double lasted);

    mutable std::mutex mutex_;
    std::vector<Slot> slots_;
    std::uint64_t hangs_ = 0;
    static constexpr std::size_t kNotesKept = 8;
    char notes_[kNotesKept][160] = {};
};

}  // namespace soak
