// SPDX-License-Identifier: Apache-2.0
#include "call_timer.h"

#include <cstdio>
#include <string>

#include "run_clock.h"

namespace soak {

CallTimer::CallTimer(std::size_t slots) : slots_(slots) {}

CallTimer::Call::Call(CallTimer& timer, std::size_t slot, const char* what, std::chrono::milliseconds bound)
    : timer_(timer), slot_(slot) {
    std::lock_guard<std::mutex> lock(timer.mutex_);
    Slot& s = timer.slots_[slot];
    s = Slot{what, monotonicSeconds(), bound.count() / 1000.0, true, false};
}

CallTimer::Call::~Call() {
    std::lock_guard<std::mutex> lock(timer_.mutex_);
    Slot& s = timer_.slots_[slot_];
    const double lasted = monotonicSeconds() - s.started;
    if (!s.counted && lasted > s.bound + kHangGrace) timer_.count(s, lasted);
    s.running = false;
}

void CallTimer::watch() {
    std::lock_guard<std::mutex> lock(mutex_);
    const double now = monotonicSeconds();
    for (Slot& s : slots_) {
        if (s.running && !s.counted && now - s.started > s.bound + kHangGrace) {
            count(s, now - s.started);
            s.counted = true;
        }
    }
}

void CallTimer::count(const Slot& slot, double lasted) {
    if (hangs_ < kNotesKept) {
        std::snprintf(notes_[hangs_], sizeof notes_[hangs_], "slot %zu: %s ran %.1f s, its time-out %.1f s",
                      static_cast<std::size_t>(&slot - slots_.data()), slot.what, lasted, slot.bound);
    }
    ++hangs_;
}

std::uint64_t CallTimer::hangs() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return hangs_;
}

std::vector<std::string> CallTimer::notes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < hangs_ && i < kNotesKept; ++i) lines.emplace_back(notes_[i]);
    return lines;
}

}  // namespace soak
