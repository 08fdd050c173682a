/* SPDX-License-Identifier: Apache-2.0 */
// kelo view's acquisition: the one thread that talks to the scanner. It
// keeps the scanner in sync mode and hands every batch to the live feed,
// steps out of sync for a camera image when a page asks, and reconnects
// when the scanner stops answering.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kelo_dll.h"
#include "live_feed.h"
#include "sync_session.h"

namespace kelo::cli {

struct AcquisitionSettings {
    std::string host;
    SyncSettings sync;
    std::uint32_t batch = 50;
    std::int32_t timeoutMs = 2000;
};

class ViewAcquisition {
public:
    ViewAcquisition(const AcquisitionSettings& settings, LiveFeed& feed,
                    const std::atomic<bool>& stop);
    ~ViewAcquisition();
    ViewAcquisition(const ViewAcquisition&) = delete;
    ViewAcquisition& operator=(const ViewAcquisition&) = delete;

    // Runs until `stop` is set, then leaves sync mode and closes the
    // connection. Empty when that went cleanly; otherwise what failed.
    std::string run();

private:
    bool connect();
    // Closes without leaving sync mode: after a failed read the byte
    // stream is out of step, and only a new connection puts it right.
    void drop(const std::string& why);
    void readBatch();
    void takeImage();
    // Fetches the status values and their descriptions; empty or the failure.
    std::string publishStatus();
    void pauseBeforeRetry();

    const AcquisitionSettings settings_;
    // The encoder value is set on the first entry only: later entries
    // (after an image, after a reconnection) keep the scanner's count.
    SyncSettings sync_;
    LiveFeed& feed_;
    const std::atomic<bool>& stop_;
    ScannerConnection* connection_ = nullptr;
    std::uint32_t inFlight_ = 0;
    bool reconnecting_ = false;
    std::unique_ptr<LargeProfileRecord[]> records_;
    std::unique_ptr<ImageRecord> image_;
    std::vector<ProfileView> views_;
};

}  // namespace kelo::cli
