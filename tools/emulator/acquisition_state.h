/* SPDX-License-Identifier: Apache-2.0 */
// The simulated scanner's acquisition: which sync mode it runs in, how fast
// it measures there, and the profiles measured and not yet handed out.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>

#include "emulator/emulator.h"
#include "emulator/profile_generator.h"

namespace kelo::emu {

class AcquisitionState {
public:
    using Clock = std::chrono::steady_clock;

    // Profiles the scanner holds at most; older ones are overwritten.
    static constexpr std::uint64_t kBufferCapacity = 8192;

    void enter(SyncMode mode, const ScannerConfig& config);
    void exit();
    void halt();
    void setEncoderValue(std::uint32_t value);
    // Both settings 0 stop the pulses; otherwise setting1 is the pulse
    // period in microseconds and a profile is measured on every pulse.
    void setPulses(std::uint32_t setting1, std::uint32_t setting2);

    // Takes up to `wanted` measured profiles, waiting a bounded short time
    // for more to be measured; appends their answers and gives the number.
    std::uint32_t takeBatch(std::uint32_t wanted, const ScannerConfig& config, Bytes& answers);
    // One profile for a single request: measured on demand while idle,
    // the oldest held one while synchronised. Fills the profile payload;
    // false when there is none.
    bool takeSingle(std::uint32_t laser, const ScannerConfig& config, Bytes& payload);

    // For tests and logs.
    SyncMode mode() const;
    bool halted() const;
    std::uint32_t encoderValue() const;
    std::uint32_t pulseSetting1() const;
    std::uint32_t pulseSetting2() const;
    std::uint32_t profilesHandedOut() const;

private:
    // Brings the measured count up to now at the present rate.
    void advance(Clock::time_point now);
    double rateHz() const;
    ProfileStamp stampFor(std::uint64_t index, std::uint32_t laser) const;
    std::uint64_t available() const { return measured_ - taken_; }

    mutable std::mutex mutex_;
    SyncMode mode_ = SyncMode::Idle;
    bool halted_ = false;
    double timeRateHz_ = 0;
    std::uint32_t encoderValue_ = 0;
    std::uint32_t pulseSetting1_ = 0;
    std::uint32_t pulseSetting2_ = 0;
    Clock::time_point started_ = Clock::now();
    Clock::time_point lastAdvance_ = Clock::now();
    double measuredExact_ = 0;
    std::uint64_t measured_ = 0;
    std::uint64_t taken_ = 0;
    std::uint32_t sequence_ = 0;
};

}  // namespace kelo::emu
