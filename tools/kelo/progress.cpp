// SPDX-License-Identifier: Apache-2.0
#include "progress.h"

#include <cstdio>

namespace kelo::cli {
namespace {
constexpr std::chrono::milliseconds kQuietStart{1000};
constexpr std::chrono::milliseconds kRedraw{250};
}  // namespace

Progress::Progress(std::uint64_t total, bool enabled)
    : total_(total), enabled_(enabled), start_(Clock::now()), lastDraw_(start_) {}

double Progress::elapsedSeconds() const {
    return std::chrono::duration<double>(Clock::now() - start_).count();
}

void Progress::update(std::uint64_t done) {
    if (!enabled_) return;
    const auto now = Clock::now();
    if (now - start_ < kQuietStart || now - lastDraw_ < kRedraw) return;
    lastDraw_ = now;
    const double seconds = elapsedSeconds();
    std::fprintf(stderr, "\rkelo grab: %llu/%llu profiles (%3.0f%%), %.0f profiles/s   ",
                 static_cast<unsigned long long>(done), static_cast<unsigned long long>(total_),
                 total_ ? 100.0 * static_cast<double>(done) / static_cast<double>(total_) : 100.0,
                 seconds > 0 ? static_cast<double>(done) / seconds : 0.0);
    std::fflush(stderr);
    drawn_ = true;
}

void Progress::finish() {
    if (drawn_) std::fputc('\n', stderr);
    drawn_ = false;
}

}  // namespace kelo::cli
