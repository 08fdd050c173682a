/* SPDX-License-Identifier: Apache-2.0 */
// The application side for one scanner, as a plant runs it: a connection
// and a kelo::Stream on it, batches taken with pop() and every profile
// checked; after a failure (or a silence) the stream is stopped, the
// connection closed and opened again, with a pause between bounded
// attempts, and collection goes on. Every call is timed against its
// time-out.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <kelo_dll/kelo.hpp>

#include "call_timer.h"
#include "fault_record.h"
#include "profile_check.h"

namespace soak {

struct Target {
    std::string host;
    std::uint32_t port = KELO_SCANNER_TCP_PORT;
    std::uint32_t serial = 0;
    bool stamped = false;  // an emulator started with --stamp
};

struct CollectorSettings {
    std::uint32_t batchSize = 50;
    std::chrono::milliseconds readTimeout{1000};
    std::chrono::milliseconds silenceTimeout{1000};
    std::chrono::milliseconds popTimeout{250};
    std::chrono::milliseconds connectTimeout{1000};
    std::chrono::milliseconds pause{200};
    int attempts = 50;  // connects in a row before the scanner counts as lost
};

class Collector {
public:
    // faults: the kinds of the faults this scanner will be given, in order.
    Collector(std::size_t slot, Target target, const CollectorSettings& settings, CallTimer& timer,
              const std::vector<FaultKind>& faults);
    Collector(const Collector&) = delete;
    Collector& operator=(const Collector&) = delete;
    ~Collector();

    void start();
    void requestStop() { stopping_ = true; }
    bool ended() const { return ended_; }
    void join();

    // From the plant's thread: fault number nth of this scanner begins or ends.
    void faultBegins(std::size_t nth, double at);
    void faultEnds(std::size_t nth, double at);

    // Whether a batch came after `since` from a stream that still runs.
    bool streamingSince(double since) const { return streaming_ && lastBatch_ > since; }
    bool lost() const { return lost_; }
    const Target& target() const { return target_; }

    // Read once the collector has ended.
    std::uint64_t profiles() const { return profiles_; }
    const ProfileCheck& check() const { return check_; }
    std::vector<FaultRecord> faults() const;
    std::uint64_t unattributed() const;
    std::vector<std::string> unattributedNotes() const;

private:
    void run();
    bool connect(std::optional<kelo::Scanner>& scanner);
    void collect(kelo::Scanner& scanner);
    void record(const kelo::Error& error, bool connect);
    // A new connection: it answers for a silence only if one may still
    // swallow requests.
    void connectionOpened();
    void pause();

    const std::size_t slot_;
    const Target target_;
    const CollectorSettings settings_;
    CallTimer& timer_;
    ProfileCheck check_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> ended_{false};
    std::atomic<bool> streaming_{false};
    std::atomic<bool> lost_{false};
    std::atomic<double> lastBatch_{0};
    std::atomic<std::uint64_t> profiles_{0};
    std::thread thread_;

    // Shared with the plant's thread; sized before the run, so that the
    // bookkeeping takes no memory while the run is measured.
    mutable std::mutex mutex_;
    std::vector<FaultRecord> faults_;
    long current_ = -1;  // the fault begun last
    bool connected_ = false;
    // A silence that may have swallowed a request on the connection now
    // open: the answer it owed never comes, so leaving sync mode there,
    // however much later, times out because of that silence. -1: none.
    long swallowedBy_ = -1;
    std::uint64_t unattributed_ = 0;
    static constexpr std::size_t kNotesKept = 8;
    char unattributedNotes_[kNotesKept][200] = {};
};

}  // namespace soak
