/* SPDX-License-Identifier: Apache-2.0 */
// Times of the soak: seconds on the monotonic clock, the clock Python's
// time.monotonic() reads too, so that a collector in another process can
// place the plant's events among its own.
#pragma once

#include <chrono>
#include <thread>

namespace soak {

inline double monotonicSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

inline void sleepSeconds(double seconds) {
    if (seconds > 0) std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

}  // namespace soak
