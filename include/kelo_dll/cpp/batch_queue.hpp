// SPDX-License-Identifier: Apache-2.0
/** @file
 * How the streams hand batches to the application: a fixed pool of batch
 * slots, a bounded queue of filled ones, and the failures among them in
 * the order they happened. Nothing here allocates once a stream runs. */
#ifndef KELO_DLL_CPP_BATCH_QUEUE_HPP
#define KELO_DLL_CPP_BATCH_QUEUE_HPP

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "error.hpp"

namespace kelo {

/** What a stream does with a new batch when the application has not taken the older ones. */
enum class Overflow {
    /** Stop reading until there is room: nothing is lost, the scanner buffers. */
    Wait,
    /** Drop the oldest batch waiting, counted by dropped(). */
    DropOldest
};

/** How a stream hands batches over; shared by every stream's options. */
struct DeliveryOptions {
    /** Batches read and not yet taken by the application, at most. */
    std::size_t queueCapacity = 8;
    /** What happens to a new batch when queueCapacity are waiting. */
    Overflow overflow = Overflow::Wait;
};

/**
 * A view of consecutive records: what one member delivered in a batch. It
 * owns nothing and is valid as long as the batch it came from.
 * @tparam T the record type
 */
template <typename T>
class Span {
public:
    /** An empty view. */
    Span() noexcept = default;
    /** @param data the first record
     *  @param size the number of records */
    Span(T* data, std::size_t size) noexcept : data_(data), size_(size) {}
    /** @return the first record */
    T* data() const noexcept { return data_; }
    /** @return the number of records */
    std::size_t size() const noexcept { return size_; }
    /** @return whether there are no records */
    bool empty() const noexcept { return size_ == 0; }
    /** @return the first record, for range-for */
    T* begin() const noexcept { return data_; }
    /** @return one past the last record */
    T* end() const noexcept { return data_ + size_; }
    /** @param i the index, below size() (not checked)
     *  @return record i */
    T& operator[](std::size_t i) const noexcept { return data_[i]; }

private:
    T* data_ = nullptr;
    std::size_t size_ = 0;
};

namespace detail {

/**
 * Slots are numbered 0 to slots()-1; the stream keeps their records. The
 * reading thread acquires a free slot, fills it and publishes it; the
 * application (or the callback thread) takes it with next() and gives it
 * back with release().
 */
class BatchQueue {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::size_t kNoSlot = static_cast<std::size_t>(-1);

    struct Item {
        enum class Kind { Nothing, Batch, Failure, End };
        Kind kind = Kind::Nothing;
        std::size_t slot = kNoSlot;
        std::uint64_t sequence = 0;
        std::uint32_t count = 0;
        std::optional<Error> error;
        bool fatal = false;
    };

    /** One slot being filled and one held by the application besides a full queue. */
    explicit BatchQueue(const DeliveryOptions& options)
        : capacity_(options.queueCapacity), overflow_(options.overflow),
          ring_(options.queueCapacity), sequences_(options.queueCapacity + 2),
          counts_(options.queueCapacity + 2) {
        free_.reserve(slots());
        for (std::size_t slot = slots(); slot-- > 0;) free_.push_back(slot);
    }

    std::size_t slots() const noexcept { return capacity_ + 2; }

    // --- the reading thread ---

    /** A free slot to fill; false once the stream stops. */
    bool acquire(std::size_t& slot) {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            if (stopping_) return false;
            const bool room = overflow_ == Overflow::DropOldest || size_ < capacity_;
            if (room && !free_.empty()) {
                slot = free_.back();
                free_.pop_back();
                return true;
            }
            if (overflow_ == Overflow::DropOldest && free_.empty() && size_ > 0) {
                dropOldest();
                continue;
            }
            changed_.wait(lock);
        }
    }

    /** Queues a filled slot holding count records. */
    void publish(std::size_t slot, std::uint32_t count) {
        std::lock_guard<std::mutex> lock(mutex_);
        sequences_[slot] = published_++;
        counts_[slot] = count;
        if (size_ == capacity_) dropOldest();
        ring_[(head_ + size_) % capacity_] = slot;
        ++size_;
        changed_.notify_all();
    }

    /**
     * Queues a failure behind the batches published before it. A fatal one
     * ends the stream and is given again to every later next(); of the
     * others at most queueCapacity wait, the oldest giving way.
     */
    void report(Error error, bool fatal) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (fatal) fatal_.emplace(error);
        if (!fatal && failures_.size() >= capacity_ && !failures_.front().fatal) failures_.pop_front();
        failures_.push_back(Failure{published_, std::move(error), fatal});
        changed_.notify_all();
    }

    /** The reading thread has ended: nothing more will come. */
    void finish() {
        std::lock_guard<std::mutex> lock(mutex_);
        ended_ = true;
        changed_.notify_all();
    }

    // --- the application's side ---

    /**
     * The next batch or failure, waiting at most until `until` (forever
     * when `forever`). After a fatal failure: that failure again; after
     * the end: End.
     */
    Item next(Clock::time_point until, bool forever) {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            Item item = take();
            if (item.kind != Item::Kind::Nothing) return item;
            if (forever) {
                changed_.wait(lock);
            } else if (changed_.wait_until(lock, until) == std::cv_status::timeout) {
                return take();
            }
        }
    }
    /** As next(), without waiting. */
    Item poll() {
        std::lock_guard<std::mutex> lock(mutex_);
        return take();
    }

    /** Gives a slot back once its batch is no longer used. */
    void release(std::size_t slot) {
        std::lock_guard<std::mutex> lock(mutex_);
        free_.push_back(slot);
        changed_.notify_all();
    }

    /** Ends every wait of the reading thread; next() still gives what is queued. */
    void stop() {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        changed_.notify_all();
    }
    bool stopping() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return stopping_;
    }
    bool ended() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return ended_;
    }
    std::uint64_t published() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return published_;
    }
    std::uint64_t dropped() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return dropped_;
    }

private:
    struct Failure {
        std::uint64_t position;  // batches published before it
        Error error;
        bool fatal;
    };

    Item take() {
        Item item;
        if (!failures_.empty() && (size_ == 0 || failures_.front().position <= sequences_[ring_[head_]])) {
            item.kind = Item::Kind::Failure;
            item.error.emplace(std::move(failures_.front().error));
            item.fatal = failures_.front().fatal;
            failures_.pop_front();
        } else if (size_ > 0) {
            item.kind = Item::Kind::Batch;
            item.slot = ring_[head_];
            item.sequence = sequences_[item.slot];
            item.count = counts_[item.slot];
            head_ = (head_ + 1) % capacity_;
            --size_;
            changed_.notify_all();
        } else if (fatal_) {
            // Nothing comes after it: it is given again, at once.
            item.kind = Item::Kind::Failure;
            item.error.emplace(*fatal_);
            item.fatal = true;
        } else if (ended_) {
            item.kind = Item::Kind::End;
        }
        return item;
    }

    void dropOldest() {
        free_.push_back(ring_[head_]);
        head_ = (head_ + 1) % capacity_;
        --size_;
        ++dropped_;
    }

    const std::size_t capacity_;
    const Overflow overflow_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::size_t> ring_;
    std::size_t head_ = 0;
    std::size_t size_ = 0;
    std::vector<std::size_t> free_;
    std::vector<std::uint64_t> sequences_;
    std::vector<std::uint32_t> counts_;
    std::deque<Failure> failures_;
    std::optional<Error> fatal_;
    std::uint64_t published_ = 0;
    std::uint64_t dropped_ = 0;
    bool stopping_ = false;
    bool ended_ = false;
};

}  // namespace detail
}  // namespace kelo

#endif
