/* SPDX-License-Identifier: Apache-2.0 */
// A progress line on standard error for long acquisitions: shown only once
// a run has taken a second, redrawn a few times a second, then ended with
// a newline.
#pragma once

#include <chrono>
#include <cstdint>

namespace kelo::cli {

class Progress {
public:
    Progress(std::uint64_t total, bool enabled);
    void update(std::uint64_t done);
    // Ends the line if one was drawn.
    void finish();
    double elapsedSeconds() const;

private:
    using Clock = std::chrono::steady_clock;
    std::uint64_t total_;
    bool enabled_;
    bool drawn_ = false;
    Clock::time_point start_;
    Clock::time_point lastDraw_;
};

}  // namespace kelo::cli
