// SPDX-License-Identifier: Apache-2.0
/** @file
 * Sync modes and the guard that leaves sync mode on every way out of a scope. */
#ifndef KELO_DLL_CPP_SYNC_HPP
#define KELO_DLL_CPP_SYNC_HPP

#include <cstdint>
#include <string>
#include <utility>

#include "error.hpp"

namespace kelo {

/** The three ways a scanner measures while synchronised. */
enum class SyncMode { Time, Encoder, Pulse };

/** A sync mode with what is set on entering it. */
struct Sync {
    /** The mode entered. */
    SyncMode mode = SyncMode::Time;
    /** Encoder mode: whether encoderValue is sent before entering. */
    bool setEncoder = false;
    /** Encoder mode: the value the encoder is set to (lpSetEncoderValue32()). */
    std::uint32_t encoderValue = 0;
    /** Pulse mode: the pulse generator's first setting (lpStartPulseMaster()),
     *  started after entering. */
    std::int32_t pulseSetting1 = KELO_PULSE_SETTING1_MIN;
    /** Pulse mode: the pulse generator's second setting. */
    std::uint32_t pulseSetting2 = 0;

    /** Time sync: profiles at the scanner's own rate.
     *  @return the time sync setting */
    static Sync time() { return Sync{}; }
    /** Encoder sync, the encoder left where it is.
     *  @return the encoder sync setting */
    static Sync encoder() { return Sync{SyncMode::Encoder, false, 0, KELO_PULSE_SETTING1_MIN, 0}; }
    /** Encoder sync, the encoder set to start first.
     *  @param start the encoder value set before entering
     *  @return the encoder sync setting */
    static Sync encoder(std::uint32_t start) {
        return Sync{SyncMode::Encoder, true, start, KELO_PULSE_SETTING1_MIN, 0};
    }
    /**
     * Pulse sync with the scanner's pulse generator running.
     * @param setting1 in [1000, 5000000]
     * @param setting2 in [0, 511]
     * @return the pulse sync setting
     */
    static Sync pulse(std::int32_t setting1, std::uint32_t setting2 = 0) {
        return Sync{SyncMode::Pulse, false, 0, setting1, setting2};
    }
};

/**
 * Keeps a connection synchronised for as long as it lives: its destructor
 * stops the pulses it started and leaves sync mode, which drains the batch
 * answers still owed. Made by Scanner::enterSync; move-only.
 */
class [[nodiscard]] SyncGuard {
public:
    /** A guard that holds nothing. */
    SyncGuard() noexcept = default;
    SyncGuard(const SyncGuard&) = delete;
    SyncGuard& operator=(const SyncGuard&) = delete;
    /** Takes over what other held; other holds nothing afterwards.
     *  @param other the guard taken over */
    SyncGuard(SyncGuard&& other) noexcept
        : connection_(std::exchange(other.connection_, nullptr)), pulses_(other.pulses_) {}
    /** Leaves the sync mode this guard held (failures ignored), then takes other's.
     *  @param other the guard taken over; it holds nothing afterwards
     *  @return this guard */
    SyncGuard& operator=(SyncGuard&& other) noexcept {
        if (this != &other) {
            leaveQuietly();
            connection_ = std::exchange(other.connection_, nullptr);
            pulses_ = other.pulses_;
        }
        return *this;
    }
    /** Leaves sync mode; failures are ignored (call leave() to see them). */
    ~SyncGuard() { leaveQuietly(); }

    /**
     * Stops the pulses (pulse mode) and leaves sync mode, draining what is
     * still owed; afterwards the guard holds nothing. Nothing is sent when
     * the connection is no longer synchronised.
     * @throws Error when a command could not be sent or the drain failed;
     * the connection is idle unless the exit command itself could not be sent
     */
    void leave() {
        ScannerConnection* connection = std::exchange(connection_, nullptr);
        if (connection == nullptr || lpIsInSyncMode(connection) != 1) return;
        std::int32_t stopped = KELO_OK;
        std::int32_t stopFailure = KELO_FAILURE_NONE;
        if (pulses_) {
            stopped = lpStopPulses(connection);
            stopFailure = lpGetLastFailure(connection);
        }
        detail::check("lpExitSyncMode", connection, lpExitSyncMode(connection));
        if (stopped != KELO_OK) throw Error("lpStopPulses", stopped, stopFailure, 0, 0, connection);
    }

    /** Gives up the guard: the connection stays synchronised. */
    void release() noexcept { connection_ = nullptr; }
    /** @return whether the guard will leave sync mode */
    bool active() const noexcept { return connection_ != nullptr; }

private:
    friend class Scanner;
    SyncGuard(ScannerConnection* connection, bool pulses) noexcept
        : connection_(connection), pulses_(pulses) {}

    void leaveQuietly() noexcept {
        try {
            leave();
        } catch (...) {
            // A destructor cannot report; leave() can.
        }
    }

    ScannerConnection* connection_ = nullptr;
    bool pulses_ = false;
};

}  // namespace kelo

#endif
