// SPDX-License-Identifier: Apache-2.0
#include "emulator/acquisition_state.h"

#include <algorithm>
#include <thread>

namespace kelo::emu {
namespace {

// A batch request waits at most this long for missing profiles.
constexpr auto kMaxBatchWait = std::chrono::milliseconds(250);
constexpr auto kBatchPoll = std::chrono::milliseconds(1);
constexpr double kMicrosPerSecond = 1e6;
// Profiles of one batch answer at most, whatever was asked.
constexpr std::uint32_t kMaxBatchProfiles = 4096;

}  // namespace

void AcquisitionState::enter(SyncMode mode, const ScannerConfig& config) {
    std::lock_guard<std::mutex> lock(mutex_);
    mode_ = mode;
    halted_ = false;
    timeRateHz_ = config.profileRateHz;
    if (mode == SyncMode::Pulse) pulseSetting1_ = pulseSetting2_ = 0;
    started_ = lastAdvance_ = Clock::now();
    measuredExact_ = 0;
    measured_ = taken_ = 0;
}

void AcquisitionState::exit() {
    std::lock_guard<std::mutex> lock(mutex_);
    mode_ = SyncMode::Idle;
    halted_ = false;
    measured_ = taken_ = 0;
}

void AcquisitionState::halt() {
    std::lock_guard<std::mutex> lock(mutex_);
    advance(Clock::now());
    halted_ = true;
}

void AcquisitionState::setEncoderValue(std::uint32_t value) {
    std::lock_guard<std::mutex> lock(mutex_);
    encoderValue_ = value;
}

void AcquisitionState::setPulses(std::uint32_t setting1, std::uint32_t setting2) {
    std::lock_guard<std::mutex> lock(mutex_);
    advance(Clock::now());
    pulseSetting1_ = setting1;
    pulseSetting2_ = setting2;
}

double AcquisitionState::rateHz() const {
    if (halted_) return 0;
    switch (mode_) {
        case SyncMode::Time:
        case SyncMode::Encoder:  // the conveyor moves the encoder one tick per profile
            return timeRateHz_;
        case SyncMode::Pulse:
            return pulseSetting1_ == 0 ? 0 : kMicrosPerSecond / pulseSetting1_;
        case SyncMode::Idle:
            break;
    }
    return 0;
}

void AcquisitionState::advance(Clock::time_point now) {
    const double seconds = std::chrono::duration<double>(now - lastAdvance_).count();
    lastAdvance_ = now;
    measuredExact_ += rateHz() * seconds;
    measured_ = static_cast<std::uint64_t>(measuredExact_);
    if (measured_ - taken_ > kBufferCapacity) taken_ = measured_ - kBufferCapacity;
}

ProfileStamp AcquisitionState::stampFor(std::uint64_t index, std::uint32_t laser) const {
    ProfileStamp stamp;
    stamp.laser = laser;
    stamp.sequence = sequence_;
    stamp.mode = mode_;
    const double rate = rateHz();
    stamp.timestampMicros =
        rate > 0 ? static_cast<std::uint64_t>(index * kMicrosPerSecond / rate)
                 : static_cast<std::uint64_t>(
                       std::chrono::duration<double, std::micro>(lastAdvance_ - started_).count());
    stamp.encoder = mode_ == SyncMode::Encoder ? encoderValue_ + static_cast<std::uint32_t>(index)
                                               : encoderValue_;
    return stamp;
}

std::uint32_t AcquisitionState::takeBatch(std::uint32_t wanted, const ScannerConfig& config,
                                          Bytes& answers) {
    wanted = std::min(wanted, kMaxBatchProfiles);
    const auto deadline = Clock::now() + kMaxBatchWait;
    std::unique_lock<std::mutex> lock(mutex_);
    advance(Clock::now());
    while (available() < wanted && rateHz() > 0 && Clock::now() < deadline) {
        lock.unlock();
        std::this_thread::sleep_for(kBatchPoll);
        lock.lock();
        advance(Clock::now());
    }
    const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(available(), wanted));
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint64_t index = taken_++;
        appendProfileAnswer(answers, config, stampFor(index, 0));
        ++sequence_;
    }
    return count;
}

bool AcquisitionState::takeSingle(std::uint32_t laser, const ScannerConfig& config, Bytes& payload) {
    std::lock_guard<std::mutex> lock(mutex_);
    advance(Clock::now());
    std::uint64_t index = 0;
    if (mode_ == SyncMode::Idle) {
        index = measured_;
    } else {
        if (available() == 0) return false;
        index = taken_++;
    }
    payload = profilePayload(config, stampFor(index, laser));
    ++sequence_;
    return true;
}

SyncMode AcquisitionState::mode() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return mode_;
}
bool AcquisitionState::halted() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return halted_;
}
std::uint32_t AcquisitionState::encoderValue() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return encoderValue_;
}
std::uint32_t AcquisitionState::pulseSetting1() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return pulseSetting1_;
}
std::uint32_t AcquisitionState::pulseSetting2() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return pulseSetting2_;
}
std::uint32_t AcquisitionState::profilesHandedOut() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return sequence_;
}

}  // namespace kelo::emu
