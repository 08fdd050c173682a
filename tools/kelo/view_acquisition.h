/* SPDX-License-Identifier: Apache-2.0 */
// kelo view's acquisition of one scanner, on a thread of its own: the one
// thread that talks to that scanner. It keeps the scanner in sync mode and
// hands every batch to its channel of the live feed, steps out of sync for
// a camera image when a page asks, and reconnects when the scanner stops
// answering. What happens to the connection is said on the terminal too.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "kelo_dll.h"
#include "live_feed.h"
#include "scanner_target.h"
#include "sync_session.h"

namespace kelo::cli {

struct AcquisitionSettings {
    ScannerTarget target;
    std::int32_t connectTimeoutMs = kDefaultConnectTimeoutMs;
    SyncSettings sync;
    std::uint32_t batch = 50;
    std::int32_t timeoutMs = 2000;
};

class ViewAcquisition {
public:
    using Clock = std::chrono::steady_clock;

    ViewAcquisition(const AcquisitionSettings& settings, std::size_t channel, LiveFeed& feed);
    ~ViewAcquisition();
    ViewAcquisition(const ViewAcquisition&) = delete;
    ViewAcquisition& operator=(const ViewAcquisition&) = delete;

    // Runs until Ctrl-C, then leaves sync mode and closes the connection.
    void start();
    // After Ctrl-C: waits until the thread has ended, while it may still
    // stop (until stopBy) or leave sync mode (kLeaveWithin from when it
    // began to). False, with the reason said, when it has not ended.
    bool finish(Clock::time_point stopBy);
    // Whether it ended with sync mode left (or with nothing to leave).
    bool leftCleanly() const { return leftCleanly_; }

private:
    enum class Stage { Running, Leaving, Done };

    void run();
    bool connect();
    // Closes without leaving sync mode: after a failed read the byte
    // stream is out of step, and only a new connection puts it right.
    void drop(const std::string& why);
    void readBatch();
    void takeImage();
    // Fetches the status values and their descriptions; empty or the failure.
    std::string publishStatus();
    void pauseBeforeRetry();
    void leave();
    // A line on the terminal, unless it is the one said last.
    void say(const std::string& line);
    std::string name() const { return target_.name(); }

    const AcquisitionSettings settings_;
    ScannerTarget target_;  // the host filled in by a discovery
    const std::size_t channel_;
    // The encoder value is set on the first entry only: later entries
    // (after an image, after a reconnection) keep the scanner's count.
    SyncSettings sync_;
    LiveFeed& feed_;
    ScannerConnection* connection_ = nullptr;
    std::uint32_t inFlight_ = 0;
    bool everLive_ = false;
    bool reconnecting_ = false;
    std::string lastFailure_;  // why it is not connected
    std::string lastSaid_;
    bool leftCleanly_ = false;
    std::unique_ptr<LargeProfileRecord[]> records_;
    std::unique_ptr<ImageRecord> image_;
    std::vector<ProfileView> views_;

    std::thread thread_;
    mutable std::mutex stageMutex_;
    std::condition_variable stageChanged_;
    Stage stage_ = Stage::Running;
    Clock::time_point leavingSince_{};
};

}  // namespace kelo::cli
