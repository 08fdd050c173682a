// SPDX-License-Identifier: Apache-2.0
/** @file
 * kelo::Stream: synchronised acquisition on a thread of its own, batch
 * requests kept in flight, batches handed over through a callback or a
 * bounded queue. */
#ifndef KELO_DLL_CPP_STREAM_HPP
#define KELO_DLL_CPP_STREAM_HPP

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "batch_queue.hpp"
#include "scanner.hpp"
#include "stream_core.hpp"

namespace kelo {

/** What a stream asks of the scanner, and how it hands batches over. */
struct StreamOptions : DeliveryOptions {
    /** The sync mode the stream enters, and leaves when it ends. */
    Sync sync = Sync::time();
    /** Profiles asked for by each request. */
    std::uint32_t batchSize = 100;
    /** Requests kept outstanding, so the scanner always has the next one. */
    std::uint32_t requestsInFlight = 2;
    /**
     * The longest a working scanner takes to answer a request, and each
     * wait for it: stop() and the destructor end the stream within this.
     */
    std::chrono::milliseconds readTimeout{1000};
    /** No answer for this long is reported as a failure (the stream goes
     *  on waiting); 0: never reported. */
    std::chrono::milliseconds silenceTimeout{5000};
};

template <typename Record>
class BasicStream;

/**
 * One batch of a stream: the profiles of one answer, at least one. It
 * holds its slot of the stream's memory until it is destroyed (or reset),
 * so let it go before taking many more; it must not outlive its stream.
 * Move-only; iterates over its records like a container.
 * @tparam Record ProfileRecord or LargeProfileRecord
 */
template <typename Record>
class Batch {
public:
    /** An empty batch: what pop() gives when nothing came in time. */
    Batch() noexcept = default;
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;
    /** Takes over other's slot; other is empty afterwards.
     *  @param other the batch taken over */
    Batch(Batch&& other) noexcept
        : queue_(std::exchange(other.queue_, nullptr)), slot_(other.slot_),
          records_(other.records_), size_(std::exchange(other.size_, 0)), sequence_(other.sequence_) {}
    /** Gives this batch's slot back, then takes over other's.
     *  @param other the batch taken over; empty afterwards
     *  @return this batch */
    Batch& operator=(Batch&& other) noexcept {
        if (this != &other) {
            reset();
            queue_ = std::exchange(other.queue_, nullptr);
            slot_ = other.slot_;
            records_ = other.records_;
            size_ = std::exchange(other.size_, 0);
            sequence_ = other.sequence_;
        }
        return *this;
    }
    /** Gives the memory back to the stream. */
    ~Batch() { reset(); }

    /** @return whether this holds a batch */
    explicit operator bool() const noexcept { return queue_ != nullptr; }
    /** @return the number of profiles (0 for an empty batch) */
    std::size_t size() const noexcept { return size_; }
    /** @return whether it holds no profiles */
    bool empty() const noexcept { return size_ == 0; }
    /** @return the first profile */
    const Record* data() const noexcept { return records_; }
    /** @return the first profile, for range-for */
    const Record* begin() const noexcept { return records_; }
    /** @return one past the last profile */
    const Record* end() const noexcept { return records_ + size_; }
    /** @param i the index, below size() (not checked)
     *  @return profile i */
    const Record& operator[](std::size_t i) const noexcept { return records_[i]; }
    /** @return the batch's number in its stream, from 0; a gap tells of dropped batches */
    std::uint64_t sequence() const noexcept { return sequence_; }

    /** Gives the memory back to the stream now. */
    void reset() noexcept {
        if (queue_ != nullptr) queue_->release(slot_);
        queue_ = nullptr;
        size_ = 0;
    }

private:
    friend class BasicStream<Record>;
    Batch(detail::BatchQueue* queue, std::size_t slot, const Record* records, std::size_t size,
          std::uint64_t sequence) noexcept
        : queue_(queue), slot_(slot), records_(records), size_(size), sequence_(sequence) {}

    detail::BatchQueue* queue_ = nullptr;
    std::size_t slot_ = 0;
    const Record* records_ = nullptr;
    std::size_t size_ = 0;
    std::uint64_t sequence_ = 0;
};

/**
 * Synchronised acquisition from one scanner on a thread of its own.
 *
 * The constructor enters the sync mode of the options and starts a thread
 * that keeps requestsInFlight batch requests outstanding and reads each
 * answer as it comes. Batches (answers with at least one profile) reach the
 * application either through pop() or through callbacks. When the
 * application falls behind by queueCapacity batches, the stream waits or
 * drops the oldest (Overflow); callbacks are called by the reading thread
 * under Overflow::Wait (reading waits for them) and by a thread of their
 * own under Overflow::DropOldest (reading goes on while one runs).
 *
 * Failures are handed over in order among the batches: pop() throws them,
 * or the error callback receives them. A failed request or read (a closed
 * connection, an answer of the wrong type, ...) ends the stream; a scanner
 * silent for silenceTimeout is reported once per silence while the stream
 * keeps waiting.
 *
 * stop() and the destructor end the stream within one readTimeout and
 * leave sync mode: the batches still owed are drained, or given up when
 * the scanner has not answered for a whole readTimeout. While the stream
 * runs, the Scanner must not be used otherwise.
 *
 * Nothing is allocated per batch: the records of queueCapacity + 2
 * batches are allocated when the stream starts.
 *
 * running() tells whether it still reads, batches() how many batches it
 * has read, dropped() how many of them Overflow::DropOldest dropped.
 * @tparam Record ProfileRecord or LargeProfileRecord; use kelo::Stream or
 *         kelo::LargeStream
 */
template <typename Record>
class BasicStream : public detail::StreamCore {
public:
    /** Called with each batch; the batch is valid during the call only. */
    using OnBatch = std::function<void(const Batch<Record>&)>;
    /** Called with each failure, in order among the batches. */
    using OnError = std::function<void(const Error&)>;

    /**
     * A stream whose batches the application takes with pop().
     * @param scanner an open scanner, not used otherwise while the stream runs
     * @param options the sync mode, batch size and delivery
     * @throws Error when entering sync mode fails; std::invalid_argument for bad options
     */
    explicit BasicStream(Scanner& scanner, const StreamOptions& options = StreamOptions())
        : BasicStream(scanner, options, OnBatch(), OnError(), false) {}

    /**
     * A stream that calls onBatch with each batch and onError with each
     * failure, one call at a time, on a thread of the stream's. A batch is
     * valid during its call only. What a callback throws ends the stream
     * and is thrown again by stop(). stop() may be called from a callback
     * (it then returns at once); the destructor may not.
     * @param scanner an open scanner, not used otherwise while the stream runs
     * @param options the sync mode, batch size and delivery
     * @param onBatch called with each batch
     * @param onError called with each failure
     * @throws Error when entering sync mode fails; std::invalid_argument for
     *         bad options or a missing callback
     */
    BasicStream(Scanner& scanner, const StreamOptions& options, OnBatch onBatch, OnError onError)
        : BasicStream(scanner, options, std::move(onBatch), std::move(onError), true) {}

    /** Stops the stream (see stop()); failures of leaving sync mode are ignored. */
    ~BasicStream() override { halt(); }

    /**
     * The next batch, waiting at most timeout for it. Only for a stream
     * made without callbacks.
     * @param timeout the longest wait; 0 only looks
     * @return an empty Batch when none came in time, or once the stream has ended
     * @throws Error for the next failure in order; after a failure that ended
     *         the stream, again on every call
     * @throws std::logic_error on a stream with callbacks
     */
    Batch<Record> pop(std::chrono::milliseconds timeout) {
        requireQueue(callbacks_);
        detail::BatchQueue::Item item = queue_.next(detail::BatchQueue::Clock::now() + timeout, false);
        if (item.kind == detail::BatchQueue::Item::Kind::Failure) throw *item.error;
        if (item.kind != detail::BatchQueue::Item::Kind::Batch) return Batch<Record>();
        return Batch<Record>(&queue_, item.slot, slotRecords(item.slot), item.count, item.sequence);
    }

    /**
     * Ends the stream: the read in progress ends (within readTimeout), the
     * pulses stop and sync mode is left. Batches already queued can still
     * be popped; callbacks get no more batches, but the failures before
     * the stop.
     * @throws Error when leaving sync mode failed (unless a failure had
     *         already ended the stream), or what a callback threw
     */
    void stop() { stopAndRethrow(); }

private:
    using Clock = std::chrono::steady_clock;

    BasicStream(Scanner& scanner, const StreamOptions& options, OnBatch onBatch, OnError onError,
                bool callbacks)
        : detail::StreamCore(options),
          connection_(scanner.native()),
          options_(valid(options, callbacks, onBatch, onError)),
          readTimeoutMs_(detail::milliseconds(options.readTimeout, "readTimeout")),
          records_(queue_.slots() * std::size_t{options.batchSize}),
          onBatch_(std::move(onBatch)),
          onError_(std::move(onError)),
          callbacks_(callbacks) {
        if (connection_ == nullptr) throw std::invalid_argument("kelo: the scanner is closed");
        guard_ = scanner.enterSync(options.sync);
        launch(callbacks, options.overflow);
    }

    static const StreamOptions& valid(const StreamOptions& options, bool callbacks,
                                      const OnBatch& onBatch, const OnError& onError) {
        if (options.batchSize < 1 || options.requestsInFlight < 1) {
            throw std::invalid_argument("kelo: batchSize and requestsInFlight must be at least 1");
        }
        if (options.readTimeout.count() < 1 || options.silenceTimeout.count() < 0) {
            throw std::invalid_argument("kelo: readTimeout must be at least 1 ms, silenceTimeout not negative");
        }
        if (callbacks && (!onBatch || !onError)) {
            throw std::invalid_argument("kelo: a stream with callbacks needs both of them");
        }
        return options;
    }

    Record* slotRecords(std::size_t slot) { return &records_[slot * options_.batchSize]; }

    void deliver(const detail::BatchQueue::Item& item) override {
        if (item.kind == detail::BatchQueue::Item::Kind::Batch) {
            const Batch<Record> batch(&queue_, item.slot, slotRecords(item.slot), item.count, item.sequence);
            onBatch_(batch);
        } else if (item.kind == detail::BatchQueue::Item::Kind::Failure) {
            onError_(*item.error);
        }
    }

    void produce() override {
        ScannerConnection* const c = connection_;
        std::uint32_t owed = 0;
        bool silent = false;
        bool reported = false;
        Clock::duration silentFor{};
        std::size_t slot = detail::BatchQueue::kNoSlot;
        bool failed = false;
        while (!queue_.stopping()) {
            if (owed < options_.requestsInFlight) {
                const std::int32_t sent = lpSendMultipleProfileRequest(c, options_.batchSize);
                if (sent != KELO_OK) {
                    failed = fail("lpSendMultipleProfileRequest", sent);
                    break;
                }
                ++owed;
                continue;
            }
            if (slot == detail::BatchQueue::kNoSlot && !queue_.acquire(slot)) break;
            // A wait that times out leaves the answer owed and counted; a
            // read that timed out would have given it up.
            const Clock::time_point waitStarted = Clock::now();
            const std::int32_t waited = lpWaitForAnswer(c, readTimeoutMs_);
            if (waited == KELO_ERROR_TIMEOUT) {
                silent = true;
                silentFor += Clock::now() - waitStarted;
                if (!reported && options_.silenceTimeout.count() > 0 && silentFor >= options_.silenceTimeout) {
                    const std::string context = "no answer from the scanner for " +
                                                std::to_string(options_.silenceTimeout.count()) + " ms";
                    report(Error("lpWaitForAnswer", KELO_ERROR_TIMEOUT, KELO_FAILURE_TIMEOUT, 0, 0, c, context),
                           false);
                    reported = true;
                }
                continue;
            }
            if (waited != KELO_OK) {
                failed = fail("lpWaitForAnswer", waited);
                break;
            }
            silent = reported = false;
            silentFor = Clock::duration::zero();
            Record* records = slotRecords(slot);
            const std::int32_t got = detail::readBatch(c, records, options_.batchSize, readTimeoutMs_);
            --owed;
            if (detail::countFailed(c, got)) {
                failed = fail(detail::readBatchName(records), got);
                break;
            }
            if (got > 0) {
                publish(slot, static_cast<std::uint32_t>(got));
                slot = detail::BatchQueue::kNoSlot;
            }
        }
        if (slot != detail::BatchQueue::kNoSlot) queue_.release(slot);
        if (failed) {
            // Already reported; leaving may fail the same way.
            try {
                guard_.leave();
            } catch (const Error&) {
            }
            return;
        }
        if (silent) detail::giveUpOwed(connection_, readTimeoutMs_);
        guard_.leave();
    }

    bool fail(const char* call, std::int32_t result) {
        report(detail::errorOf(call, connection_, result), true);
        return true;
    }

    ScannerConnection* connection_;
    StreamOptions options_;
    std::int32_t readTimeoutMs_;
    std::vector<Record> records_;
    OnBatch onBatch_;
    OnError onError_;
    bool callbacks_;
    SyncGuard guard_;
};

/** A stream of ProfileRecords (243 points). */
using Stream = BasicStream<ProfileRecord>;
/** A stream of LargeProfileRecords (486 points). */
using LargeStream = BasicStream<LargeProfileRecord>;

}  // namespace kelo

#endif
