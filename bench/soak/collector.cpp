// SPDX-License-Identifier: Apache-2.0
#include "collector.h"

#include <cstdio>
#include <optional>

#include "run_clock.h"

namespace soak {
namespace {

// A call that waits for one answer of the scanner: the library's own
// time-out for each piece.
constexpr std::chrono::milliseconds kAnswerTimeout{KELO_DEFAULT_TIMEOUT_MS};
constexpr std::size_t kQueueCapacity = 4;
constexpr std::uint32_t kRequestsInFlight = 2;

}  // namespace

Collector::Collector(std::size_t slot, Target target, const CollectorSettings& settings, CallTimer& timer,
                     const std::vector<FaultKind>& faults)
    : slot_(slot), target_(std::move(target)), settings_(settings), timer_(timer),
      check_(target_.serial, target_.stamped), faults_(faults.size()) {
    for (std::size_t i = 0; i < faults.size(); ++i) faults_[i].kind = faults[i];
}

Collector::~Collector() {
    requestStop();
    join();
}

void Collector::start() { thread_ = std::thread([this] { run(); }); }

void Collector::join() {
    if (thread_.joinable()) thread_.join();
}

void Collector::run() {
    while (!stopping_) {
        std::optional<kelo::Scanner> scanner;
        if (!connect(scanner)) break;
        // A new connection: the scanner went on measuring meanwhile.
        check_.allowGap();
        connectionOpened();
        collect(*scanner);
        {
            CallTimer::Call call(timer_, slot_, "lpCloseConnection", kAnswerTimeout);
            scanner.reset();
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            connected_ = false;
        }
        if (!stopping_) pause();
    }
    ended_ = true;
}

bool Collector::connect(std::optional<kelo::Scanner>& scanner) {
    for (int attempt = 0; attempt < settings_.attempts && !stopping_; ++attempt) {
        try {
            CallTimer::Call call(timer_, slot_, "lpOpenConnectionPort", settings_.connectTimeout);
            scanner.emplace(target_.host, target_.port, settings_.connectTimeout);
            return true;
        } catch (const kelo::Error& error) {
            record(error, true);
        }
        pause();
    }
    if (!stopping_) {
        lost_ = true;
        std::fprintf(stderr, "soak: %s: no connection in %d attempts; given up\n", target_.host.c_str(),
                     settings_.attempts);
    }
    return false;
}

void Collector::collect(kelo::Scanner& scanner) {
    kelo::StreamOptions options;
    options.batchSize = settings_.batchSize;
    options.requestsInFlight = kRequestsInFlight;
    options.readTimeout = settings_.readTimeout;
    options.silenceTimeout = settings_.silenceTimeout;
    options.queueCapacity = kQueueCapacity;
    std::optional<kelo::Stream> stream;
    try {
        CallTimer::Call call(timer_, slot_, "kelo::Stream (entering sync mode)", kAnswerTimeout);
        stream.emplace(scanner, options);
    } catch (const kelo::Error& error) {
        record(error, false);
        return;
    }
    streaming_ = true;
    while (!stopping_) {
        try {
            kelo::Batch<ProfileRecord> batch;
            {
                CallTimer::Call call(timer_, slot_, "kelo::Stream::pop", settings_.popTimeout);
                batch = stream->pop(settings_.popTimeout);
            }
            if (!batch) continue;
            for (const ProfileRecord& profile : batch) check_.check(profile);
            profiles_ += batch.size();
            lastBatch_ = monotonicSeconds();
        } catch (const kelo::Error& error) {
            // A failed read ended the stream; a silent scanner may have
            // swallowed the requests in flight and may answer them late, or
            // never: either way a new connection is the way on.
            record(error, false);
            break;
        }
    }
    streaming_ = false;
    try {
        CallTimer::Call call(timer_, slot_, "kelo::Stream::stop", settings_.readTimeout + kAnswerTimeout);
        stream->stop();
    } catch (const kelo::Error& error) {
        record(error, false);
    }
}

void Collector::record(const kelo::Error& error, bool connect) {
    const FailureSeen seen{monotonicSeconds(), error.failure(), error.detail(), error.socketError(), connect};
    check_.allowGap();
    std::lock_guard<std::mutex> lock(mutex_);
    if (swallowedBy_ >= 0 && !connect && seen.failure == KELO_FAILURE_TIMEOUT) {
        ++faults_[static_cast<std::size_t>(swallowedBy_)].reported;
        return;
    }
    if (current_ >= 0) {
        FaultRecord& fault = faults_[static_cast<std::size_t>(current_)];
        if (fault.ended < 0 || seen.at <= fault.ended + kAftermath) {
            if (isOwnReport(fault.kind, seen)) {
                ++fault.reported;
            } else if (fault.otherReports++ == 0) {
                fault.firstOther = seen;
            }
            return;
        }
    }
    if (unattributed_ < kNotesKept) {
        char last[64] = " (no fault before it)";
        if (current_ >= 0) {
            const FaultRecord& fault = faults_[static_cast<std::size_t>(current_)];
            std::snprintf(last, sizeof last, " (%.1f s after %s ended)", seen.at - fault.ended,
                          faultName(fault.kind));
        }
        std::snprintf(unattributedNotes_[unattributed_], sizeof unattributedNotes_[0], "%s%s: %s",
                      target_.host.c_str(), faults_.empty() ? "" : last, error.what());
    }
    ++unattributed_;
}

void Collector::pause() {
    const double until = monotonicSeconds() + settings_.pause.count() / 1000.0;
    while (!stopping_ && monotonicSeconds() < until) sleepSeconds(0.01);
}

void Collector::connectionOpened() {
    std::lock_guard<std::mutex> lock(mutex_);
    connected_ = true;
    swallowedBy_ = -1;
    if (current_ < 0) return;
    // The emulator takes a fault's end a little after the plant has told
    // it, so a silence that ended just now may still swallow a request.
    const FaultRecord& fault = faults_[static_cast<std::size_t>(current_)];
    if (fault.kind == FaultKind::Silent && (fault.ended < 0 || monotonicSeconds() <= fault.ended + kAftermath))
        swallowedBy_ = current_;
}

void Collector::faultBegins(std::size_t nth, double at) {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_[nth].begun = at;
    faults_[nth].profilesAtBegin = profiles_;
    current_ = static_cast<long>(nth);
    if (connected_ && faults_[nth].kind == FaultKind::Silent) swallowedBy_ = current_;
}

void Collector::faultEnds(std::size_t nth, double at) {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_[nth].ended = at;
    faults_[nth].profilesAtEnd = profiles_;
}

std::vector<FaultRecord> Collector::faults() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return faults_;
}

std::uint64_t Collector::unattributed() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return unattributed_;
}

std::vector<std::string> Collector::unattributedNotes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> notes;
    for (std::size_t i = 0; i < unattributed_ && i < kNotesKept; ++i) notes.emplace_back(unattributedNotes_[i]);
    return notes;
}

}  // namespace soak
